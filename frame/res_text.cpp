#include "frame/res_text.h"

#include "frame/err_state.h"
#include "frame/sql_text.h"
#include "platform/automation/registry.h"
#include "platform/resources/loader.h"
#include "platform/resources/resource_texts.h"

namespace morvesk::frame {

namespace {

using automation::ComError;
using automation::Variant;

std::shared_ptr<automation::Dispatch>& LoaderCache() {
  thread_local std::shared_ptr<automation::Dispatch> loader;
  return loader;
}

// By its programmatic name, as the module registered it (services' RegisterMorveskClasses).
std::shared_ptr<automation::Dispatch> NewLoader() {
  return automation::CreateObject(resources::kLoaderProgId);
}

}  // namespace

std::shared_ptr<automation::Dispatch> CurrentResourceLoader() { return LoaderCache(); }

std::string LoadResText(const std::string& key, const std::string& language) {
  const ErrState saved = Err();
  std::string result = key;
  try {
    auto& loader = LoaderCache();
    if (!loader) loader = NewLoader();
    const std::string current = loader->Get("LanguageID").ToString();
    if (resources::UpperAscii(current) != resources::UpperAscii(language)) {
      loader->Call("Unload");
      loader.reset();
      loader = NewLoader();
      loader->Put("LanguageID", Variant(language));
      loader->Put("ResFileBaseName", Variant(resources::kDefaultResFileBaseName));
    }
    result = TrimBlanks(key);
    if (result.find(kResSeparator) == std::string::npos) {
      result = loader->Call("LoadString", {Variant(result)}).ToString();
    } else {
      result = ExpandResText(result, language);
    }
  } catch (const ComError& e) {
    // The lookup gives up with the key text; the loader's error does not reach the caller.
    // `result` is the key, trimmed once the trimming step had run. A loader that failed is
    // not kept: the next lookup starts with a fresh one instead of failing forever.
    SetErr(e);
    LoaderCache().reset();
  }
  Err() = saved;
  return result;
}

std::string ExpandResText(const std::string& text, const std::string& language) {
  const std::string_view sep = kResSeparator;
  const std::string_view marker = kResKeyMarker;
  std::string result;
  size_t pos = 0;
  while (true) {
    size_t next = text.find(sep, pos);
    std::string piece = text.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    if (piece.compare(0, marker.size(), marker) == 0) {
      result += LoadResText(piece.substr(marker.size()), language);
    } else {
      result += piece;
    }
    if (next == std::string::npos) break;
    pos = next + sep.size();
  }
  return result;
}

}  // namespace morvesk::frame
