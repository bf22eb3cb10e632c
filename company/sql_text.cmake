# Writes OUT: a C++ source defining morvesk::company::SchemaScripts(), one entry per
# file of SQL_DIR/*.sql in name order, each file's text as a raw string literal.
file(GLOB SQL_FILES ${SQL_DIR}/*.sql)
list(SORT SQL_FILES)
set(body "")
foreach(f IN LISTS SQL_FILES)
  file(READ ${f} text)
  get_filename_component(name ${f} NAME)
  string(FIND "${text}" ")morvesk_sql\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name} contains the raw string delimiter")
  endif()
  string(APPEND body "    {\"${name}\", R\"morvesk_sql(${text})morvesk_sql\"},\n")
endforeach()
file(WRITE ${OUT}.tmp
"// Generated from company/sql/*.sql by company/sql_text.cmake. Do not edit.\n"
"#include \"company/sql_text.h\"\n\n"
"namespace morvesk::company {\n\n"
"const std::vector<SqlScript>& SchemaScripts() {\n"
"  static const std::vector<SqlScript> scripts = {\n"
"${body}"
"  };\n"
"  return scripts;\n"
"}\n\n"
"}  // namespace morvesk::company\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
