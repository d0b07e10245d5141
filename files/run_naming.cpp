#include "files/run_naming.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>
#include <system_error>

namespace vx {

std::optional<int> run_id_in_name(std::string_view name) {
  const std::size_t at = name.find("run");
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t p = at + 3;
  while (p < name.size() && std::isspace(static_cast<unsigned char>(name[p])) != 0) ++p;
  if (p < name.size() && name[p] == '+') ++p;
  int value = 0;
  const auto r = std::from_chars(name.data() + p, name.data() + name.size(), value);
  if (r.ec != std::errc()) return std::nullopt;
  return value;
}

int next_auto_run_id(const std::filesystem::path& directory) {
  int largest = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_directory(type_ec)) continue;
    const auto id = run_id_in_name(it->path().filename().string());
    if (id && *id > largest) largest = *id;
  }
  return largest == std::numeric_limits<int>::max() ? largest : largest + 1;
}

void Update_AutoRunId(Settings& st, FrontEndLinks& links, const std::filesystem::path& directory) {
  st.acq.AutoRunId = next_auto_run_id(directory);
  links.ui.refresh_panel(Panel::Main);
}

std::string compose_run_name(const Settings& st, int auto_run_id, const WallTime& now) {
  const AcqParams& a = st.acq;
  std::string name(a.BaseFileName, text_length(a.BaseFileName));
  char part[64];
  if (a.TCPCommandsEnabled == 1) {
    std::snprintf(part, sizeof part, "_runTcp%d", st.tcp.TCPRunId);
    name += part;
  }
  if (a.AddSystemDate == 1) {
    std::snprintf(part, sizeof part, "_%02d%02d%04d", now.month, now.day, now.year);
    name += part;
  }
  if (a.AddSystemTime == 1) {
    std::snprintf(part, sizeof part, "_%02dh%02dmin", now.hour, now.minute);
    name += part;
  }
  if (a.AddRunId == 1) {
    std::snprintf(part, sizeof part, "_run%d", a.AutoIncRunId == 1 ? auto_run_id : a.RunIdUser);
    name += part;
  }
  return name;
}

std::string build_run_name(Settings& st, FrontEndLinks& links,
                           const std::filesystem::path& base_directory, const WallTime& now) {
  if (st.acq.AddRunId == 1) Update_AutoRunId(st, links, base_directory);
  return compose_run_name(st, st.acq.AutoRunId, now);
}

}  // namespace vx
