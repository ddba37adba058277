#include "state/allowed.h"


#include "common/files.h"
#include "common/json.h"
#include "state/app_dirs.h"
#include "state/settings.h"
#include "state/state_file.h"

namespace wendlebox {

std::filesystem::path allowed_path() { return app_dir() / "allowed-folders.json"; }

Result<AllowList> decode_allowed(std::string_view text) {
  return decode_object(text, [](const JsonFields& fields) -> Result<AllowList> {
    const Json* folders = fields.find("folders");
    if (folders == nullptr) return fields.error("missing field `folders`");
    if (!folders->is_array()) return fields.error("invalid type: expected a list for `folders`");
    AllowList list;
    for (const Json& folder : *folders) {
      if (!folder.is_string()) return fields.error("invalid type: expected a string in `folders`");
      list.folders.push_back(folder.get<std::string>());
    }
    return list;
  });
}

Result<AllowList> load_allowed() {
  return load_state_file<AllowList>(allowed_path(), "Could not read allowed folders from", decode_allowed);
}

Status save_allowed(const AllowList& list) {
  OrderedJson record;
  record["folders"] = list.folders;
  return write_file_whole(allowed_path(), pretty_json(record));
}

Status update_allowed(const std::function<bool(AllowList&)>& change) {
  return update_state_file(allowed_path(), load_allowed, save_allowed, change);
}

}  // namespace wendlebox
