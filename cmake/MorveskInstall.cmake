# What `cmake --install` puts under the prefix: the morvesk tool, libmorvesk.so with its
# public headers, the SQLite extension, a CMake package (find_package(Morvesk) giving
# Morvesk::morvesk) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(TARGET morvesk_cli)
  install(TARGETS morvesk_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET morvesk_sqlite)
  install(TARGETS morvesk_sqlite LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/morvesk)
endif()
if(NOT TARGET morvesk)
  return()
endif()

install(TARGETS morvesk EXPORT MorveskTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/morvesk)
# The host header and the automation headers it is written in, at the paths they include
# each other by.
install(FILES ${CMAKE_SOURCE_DIR}/include/morvesk/morvesk.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morvesk)
foreach(header platform/automation/com_error.h platform/automation/dispatch.h
               platform/automation/variant.h base/decimal.h)
  get_filename_component(header_dir ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/${header}
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morvesk/${header_dir})
endforeach()

set(morvesk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Morvesk)
install(EXPORT MorveskTargets NAMESPACE Morvesk:: DESTINATION ${morvesk_cmake_dir})
file(WRITE ${CMAKE_BINARY_DIR}/MorveskConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/MorveskTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/MorveskConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/MorveskConfig.cmake
              ${CMAKE_BINARY_DIR}/MorveskConfigVersion.cmake
        DESTINATION ${morvesk_cmake_dir})

# pkg-config: paths relative to the prefix the file is installed under.
file(WRITE ${CMAKE_BINARY_DIR}/morvesk.pc.in [=[
prefix=${pcfiledir}/../..
libdir=${prefix}/@CMAKE_INSTALL_LIBDIR@
includedir=${prefix}/@CMAKE_INSTALL_INCLUDEDIR@

Name: morvesk
Description: Inventory costing library with an embedded T-SQL company database (C++20)
Version: @PROJECT_VERSION@
Libs: -L${libdir} -lmorvesk
Cflags: -std=c++20 -I${includedir} -I${includedir}/morvesk
]=])
configure_file(${CMAKE_BINARY_DIR}/morvesk.pc.in ${CMAKE_BINARY_DIR}/morvesk.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/morvesk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
