#include "files/setup_file.h"
#include "app/messages.h"
#include "files/setup_ranges.h"
#include "files/setup_unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>

#include "analysis/charge.h"
#include "app/lifecycle.h"
#include "app/message_log.h"
#include "app/register_images.h"
#include "digitizer/board_configuration.h"
#include "files/quoted_text.h"
#include "files/saving_run_lock.h"
#include "platform/stdio_file.h"

namespace vx {

namespace {

// A valid file is a few kilobytes; nothing beyond this prefix is ever looked at.
constexpr std::size_t kMaxSetupFileBytes = 64 * 1024;
// fgets with a buffer of 1024 bytes.
constexpr std::size_t kMaxLineBytes = 1023;
constexpr std::size_t kModelNameBytes = sizeof(BoardInfo::ModelName);

std::string format_path_message(const char* format, const std::string& path) {
  std::string text(std::strlen(format) + path.size() + 1, '\0');
  const int n = std::snprintf(text.data(), text.size(), format, path.c_str());
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

template <typename Rec>
void append_image(std::string& out, const Rec& rec) {
  out.append(reinterpret_cast<const char*>(&rec), sizeof rec);
}

template <typename Rec>
void take_image(Rec& rec, std::string_view& in) {
  std::memcpy(&rec, in.data(), sizeof rec);
  in.remove_prefix(sizeof rec);
}

std::filesystem::path setup_folder(const FrontEndLinks& st) {
  const auto folder = st.UserPath / "Setup";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

// What kind of file a mode is, for a refusal.
const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The whole file, or why it cannot be read. Only regular files are opened (a FIFO, a
// terminal or a device could block the thread that reads: the user interface's, for a
// remote client's request), without waiting on the open, and at most a bounded size.
std::optional<std::string> read_setup_bytes(const std::filesystem::path& path, std::string& why) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    why = std::string("it is ") + kind_of(info.st_mode) + ", not a regular file";
    return std::nullopt;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  const UniqueFd file(fd);
  // The name may have been replaced between the two looks.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = "it is not a regular file";
    return std::nullopt;
  }
  // Room for what the file holds and one byte more, growing if it grows meanwhile; one byte
  // past the limit tells a longer file apart without reading all of it.
  constexpr std::size_t kMost = kMaxSetupFileBytes + 1;
  std::string bytes(std::min(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 1, kMost),
                    '\0');
  std::size_t got = 0;
  while (true) {
    if (got == bytes.size()) {
      if (bytes.size() == kMost) break;
      bytes.resize(std::min(bytes.size() * 2, kMost));
    }
    const ssize_t rc = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) {
      why = std::strerror(errno);
      return std::nullopt;
    }
    if (rc == 0) break;
    got += static_cast<std::size_t>(rc);
  }
  if (got > kMaxSetupFileBytes) {
    why = "it holds more than " + std::to_string(kMaxSetupFileBytes / 1024) +
          " KiB, far more than a setup file";
    return std::nullopt;
  }
  bytes.resize(got);
  return bytes;
}

// Reads one line the way fgets does with a 1024-byte buffer: up to and including the
// line feed, at most 1023 bytes. nullopt at the end of the data.
std::optional<std::string_view> next_line(std::string_view& in) {
  if (in.empty()) return std::nullopt;
  const std::size_t limit = std::min(in.size(), kMaxLineBytes);
  const std::size_t lf = in.substr(0, limit).find('\n');
  const std::size_t n = lf == std::string_view::npos ? limit : lf + 1;
  const std::string_view line = in.substr(0, n);
  in.remove_prefix(n);
  return line;
}

std::string_view first_word(std::string_view line) {
  constexpr std::string_view kSpace = " \t\n\v\f\r";
  const std::size_t start = line.find_first_not_of(kSpace);
  if (start == std::string_view::npos) return {};
  line.remove_prefix(start);
  return line.substr(0, line.find_first_of(kSpace));
}

bool same_model(const BoardParams& a, const BoardParams& b) {
  return std::strncmp(reinterpret_cast<const char*>(a.BoardInfo),
                      reinterpret_cast<const char*>(b.BoardInfo), kBoardInfoSize) == 0;
}

std::size_t images_size(int blocks) {
  return sizeof(BoardParams) + sizeof(SystemParams) + sizeof(AcqParams) +
         static_cast<std::size_t>(blocks) * sizeof(SAMBlockParams) + sizeof(GuiParams);
}

void apply_loaded_setup(BoardPort port) {
  Set_AllBoardParameters(port);
  port.links.ui.set_window_title(main_window_title(port.settings.sys));
  port.links.ui.refresh_panel(Panel::AllValues);
  if (port.links.hooks.recompute_main_graph) port.links.hooks.recompute_main_graph();
  if (port.links.hooks.refresh_annotations) port.links.hooks.refresh_annotations();
  Plot_ChargeHisto(port);
  port.links.ui.refresh_panel(Panel::TimeHistogram);
}

int refuse(FrontEndLinks& st, const std::string& text, int kind) {
  Write_InfoMessage(st, text, kind);
  return -1;
}

// The refusals of a load: told, and kept (one line) for a remote client who asked for it.
struct LoadRefusal {
  State& st;
  std::string* text;
  int operator()(const std::string& message, int kind) const {
    if (text != nullptr) {
      *text = message;
      while (!text->empty() && text->back() == '\n') text->pop_back();
    }
    return refuse(st, message, kind);
  }
};

std::string model_of(const BoardParams& b) {
  const auto* name = reinterpret_cast<const char*>(b.BoardInfo);
  return "'" + Escaped_FileText(std::string_view(name, strnlen(name, kModelNameBytes))) + "'";
}

int load_setup(BoardPort port, const std::filesystem::path& path, std::string_view raw,
               const LoadRefusal& refuse) {
  const std::string decoded = from_text_mode(raw);
  std::string_view in = decoded;
  const auto truncated = [&](std::size_t needed) {
    return format_path_message("Error while reading setup from file '%s': the file is incomplete!",
                               path.string()) +
           " Its records hold " + std::to_string(in.size()) + " of the " + std::to_string(needed) +
           " bytes they need.\n";
  };

  if (!next_line(in))
    return refuse(format_path_message("WARNING: Setup file '%s' is empty.\n", path.string()),
                  kWarning);
  const auto version_line = next_line(in);
  if (!version_line) {
    return refuse(format_path_message("Error while reading setup from file '%s': the file is "
                                      "incomplete! It ends after line 1.\n",
                                      path.string()),
                  kError);
  }
  if (first_word(*version_line) != kSoftwareVersion) {
    return refuse(
        "Unable to Load Setup from file because it was created with an older version "
        "of the Software. '" +
            path.string() + "', line 2: version '" + Escaped_FileText(first_word(*version_line)) +
            "', this program reads " + kSoftwareVersion + ".\n",
        kError);
  }

  if (in.size() < sizeof(BoardParams) + sizeof(SystemParams))
    return refuse(truncated(images_size(board_blocks(port))), kError);
  BoardParams board{};
  take_image(board, in);
  SystemParams sys{};
  std::memcpy(&sys, in.data(), sizeof sys);
  // The block count sizes the rest of the file and every per-block loop: a file made for
  // another number of blocks would leave the records out of step with the board.
  const std::int32_t blocks = sys.NbOfSAMBlocks;
  if (!same_model(board, port.settings.board) || blocks != port.settings.sys.NbOfSAMBlocks ||
      blocks < 0 || blocks > kMaxSamBlocks) {
    return refuse("System is incompatible with the selected setup file! '" + path.string() +
                      "' was saved on a board " + model_of(board) + " with " +
                      std::to_string(blocks) + " SAM blocks; this board is " +
                      model_of(port.settings.board) + " with " +
                      std::to_string(port.settings.sys.NbOfSAMBlocks) + ".\n",
                  kError);
  }
  // Nothing is replaced unless every image is there.
  if (in.size() < images_size(blocks) - sizeof(BoardParams)) {
    in = std::string_view(in.data() - sizeof(BoardParams), in.size() + sizeof(BoardParams));
    return refuse(truncated(images_size(blocks)), kError);
  }

  SetupImages images;
  take_image(images.sys, in);
  take_image(images.acq, in);
  for (int b = 0; b < blocks; ++b) take_image(images.sam[b], in);
  take_image(images.gui, in);
  if (const auto bad = Find_SetupValueOutOfRange(images, blocks)) {
    return refuse(format_path_message("Error while reading setup from file '%s': ", path.string()) +
                      *bad + ". Nothing was changed.\n",
                  kError);
  }
  // Where runs are written belongs to this machine: a setup saved elsewhere does not move it.
  std::memcpy(images.acq.DataDirectory, port.settings.acq.DataDirectory,
              sizeof port.settings.acq.DataDirectory);
  std::memcpy(images.acq.RunDirectory, port.settings.acq.RunDirectory,
              sizeof port.settings.acq.RunDirectory);
  const ChangedBlocks line_dacs =
      Keep_UnitFields(port, port.links.log, board, images, blocks, path.string());
  port.settings.sys = images.sys;
  port.settings.acq = images.acq;
  std::copy_n(images.sam.begin(), blocks, port.settings.sam.begin());
  port.settings.gui = images.gui;

  apply_loaded_setup(port);
  Apply_SetupLineDacs(port, line_dacs, path.string());
  Write_InfoMessage(port.links.log, "Setup values succesfully restored !\n", kInfo);
  return 1;
}

// Writes, flushes and syncs the whole file; false on any failure.
bool write_and_close(StdioFile f, const std::string& bytes) {
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  ok = std::fflush(f.get()) == 0 && ok;
  // On disk before it replaces the previous file.
  ok = ::fsync(::fileno(f.get())) == 0 && ok;
  return std::fclose(f.release()) == 0 && ok;
}

}  // namespace

std::string to_text_mode(std::string_view bytes) {
  const auto line_feeds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  std::string out(bytes.size() + line_feeds, '\0');
  std::size_t n = 0;
  for (const char c : bytes) {
    if (c == '\n') out[n++] = '\r';
    out[n++] = c;
  }
  return out;
}

std::string from_text_mode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (auto cr = bytes.find("\r\n"); cr != std::string_view::npos; cr = bytes.find("\r\n")) {
    out.append(bytes.substr(0, cr));
    bytes.remove_prefix(cr + 1);  // the line feed stays
  }
  out.append(bytes);
  return out;
}

std::string setup_file_contents(const Settings& st) {
  std::string out = kSetupFileFirstLine;
  out += kSoftwareVersion;
  out += '\n';
  append_image(out, st.board);
  append_image(out, st.sys);
  append_image(out, st.acq);
  for (int b = 0; b < board_blocks(st); ++b) append_image(out, st.sam[b]);
  append_image(out, st.gui);
  return out;
}

int Write_SetupFile(Settings& st, FrontEndLinks& links, const std::filesystem::path& path) {
  for (int b = 0; b < board_blocks(st); ++b) Build_RegisterImages(st.sam[b], st.sys);
  const std::string bytes = to_text_mode(setup_file_contents(st));
  auto temporary = path;
  temporary += ".tmp";
  StdioFile f(std::fopen(temporary.c_str(), "wb"));
  if (!f) return refuse(links, "Error while opening file for saving Setup!\n", kError);
  std::error_code ec;
  if (!write_and_close(std::move(f), bytes) || (std::filesystem::rename(temporary, path, ec), ec)) {
    std::filesystem::remove(temporary, ec);
    return refuse(links,
                  format_path_message("Error while writing Setup file '%s'!\n", path.string()),
                  kError);
  }
  Write_InfoMessage(links.log, data_saved_message(path.string()), kInfo);
  return 1;
}

int Save_SetupInFile(Settings& st, FrontEndLinks& links) {
  FileDialogRequest request;
  request.title = "Name of Setup File to Save";
  request.initial_directory = setup_folder(links);
  request.default_name = "Setup_*.dat";
  request.filter = "*.dat";
  request.save = true;
  const auto path = links.ui.select_file(request);
  if (!path || path->empty())
    return refuse(links, "Error : Error while opening file for saving Setup!\n", kError);
  return Write_SetupFile(st, links, *path);
}

int Load_SetupFromFile(State& st, const std::string& path, int dialog, std::string* refusal) {
  const LoadRefusal refuse{st, refusal};
  // A setup holds the record length, the frequency and the channels of the files' header.
  if (Run_SavesOrTransmits(st)) {
    return refuse(
        "Unable to load a setup while a run saves or sends its data: every record of its files "
        "must match their header. Stop the run first.\n",
        kWarning);
  }
  std::filesystem::path file = path;
  const char* cannot_open = "Error while opening file for setup readout!";
  if (dialog == 1) {
    FileDialogRequest request;
    request.title = "Name of File to Read";
    request.initial_directory = setup_folder(st);
    request.default_name = "*.dat";
    request.filter = "*.dat";
    const auto chosen = st.ui.select_file(request);
    if (!chosen || chosen->empty())
      return refuse("Error : Error while opening file for reading Setup!\n", kError);
    file = *chosen;
    cannot_open = "Error while opening file for reading Setup!";
  } else {
    // The name may come from a remote client: shown escaped.
    Write_InfoMessage(
        st, format_path_message("Reading setup from file '%s'.\n", Escaped_FileText(path, 600)),
        kInfo);
  }
  std::string why;
  const auto raw = read_setup_bytes(file, why);
  if (!raw) {
    return refuse(std::string(cannot_open) + " '" + Escaped_FileText(file.string(), 600) +
                      "': " + why + ".\n",
                  kError);
  }
  return load_setup(st, file, *raw, refuse);
}

}  // namespace vx
