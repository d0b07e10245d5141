// veltrix-cli eeprom ...: the daughter boards' EEPROMs from the command line, as the Advanced
// FLASH Access panel offers them. Destructive actions need --yes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "calibration/stored_calibrations.h"
#include "cli/commands.h"
#include "cli/option_checks.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_dump.h"
#include "eeprom/eeprom_encoding.h"
#include "eeprom/eeprom_info.h"
#include "eeprom/eeprom_low_level.h"
#include "platform/eeprom_map.h"

namespace vx::cli {

namespace {

// "all" is -1; a board index otherwise.
bool parse_board(const std::string& text, int& board) {
  if (text == "all") {
    board = -1;
    return true;
  }
  try {
    std::size_t used = 0;
    board = std::stoi(text, &used);
    return used == text.size() && board >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

// Decimal, or hexadecimal with 0x.
bool parse_number(const std::string& text, long& value) {
  try {
    std::size_t used = 0;
    value = std::stol(text, &used, 0);
    return used == text.size();
  } catch (const std::exception&) {
    return false;
  }
}

// Runs f for the board, or for every board when it is -1; fails when any run failed.
template <typename F>
int each_board(Settings& st, int board, F f) {
  int result = 0;
  if (board >= 0) return f(board) == 0 ? 0 : 1;
  for (int d = 0; d < daughter_board_count(st); ++d)
    if (f(d) != 0) result = 1;
  return result;
}

int info(Session& session, int board) {
  State& st = session.state();
  return each_board(st, board, [&](int d) {
    const int rc = Read_EEPROM_Info(st, st, st, d);
    print_daughter_board(st, d);
    return rc;
  });
}

int write_info(Session& session, const EepromOptions& o, int board) {
  State& st = session.state();
  EepromInfoEntry e;
  // What the board holds now is kept where no new value is given.
  if (board >= 0 && Read_EEPROM_Info(st, st, st, board) == 0) {
    const SAMBlockParams& k = st.sam[2 * board];
    e.serial = std::to_string(k.SerialNumberMajor) + "." + std::to_string(k.SerialNumberMinor);
    e.gain = k.BoardGain;
    e.offset_gain = k.OffsetGain;
    e.sca_type = k.SCAType;
    e.acdc_coupling = k.ACDCCoupling;
    e.sam_long_type = k.SAMLongType;
  } else if (!o.serial) {
    std::fprintf(stderr, "The board has no valid serial number: give one with --serial.\n");
    return 1;
  }
  if (o.serial) e.serial = *o.serial;
  if (o.gain) e.gain = *o.gain;
  if (o.offset_gain) e.offset_gain = *o.offset_gain;
  if (o.sca_type) e.sca_type = *o.sca_type;
  if (o.acdc_coupling) e.acdc_coupling = *o.acdc_coupling;
  if (o.sam_long_type) e.sam_long_type = *o.sam_long_type;
  if (!Confirm_EEPROM_Change(st, EepromChange::WriteInfo, board)) {
    std::fprintf(stderr, "Nothing was changed: pass --yes to confirm.\n");
    return 1;
  }
  return Write_EEPROM_Info(st, st, st, board, e) == 0 ? 0 : 1;
}

int run(Session& session, const EepromOptions& o) {
  State& st = session.state();
  int board = -1;
  if (!parse_board(o.board, board)) {
    std::fprintf(stderr, "--board takes a daughter-board index or 'all', not '%s'.\n",
                 o.board.c_str());
    return 2;
  }
  const auto* chosen = o.command->get_subcommands().front();
  const std::string name = chosen->get_name();
  long address = 0, count = 0;
  if ((name == "read" || name == "write") &&
      (!parse_number(o.address, address) || (name == "read" && !parse_number(o.count, count)))) {
    std::fprintf(stderr, "ADDR and N are numbers (decimal, or hexadecimal with 0x).\n");
    return 2;
  }
  if (name == "write") {
    const auto bytes = parse_eeprom_hex(o.hex);
    if (!bytes) {
      std::fprintf(stderr,
                   "HEX is two hexadecimal digits per byte, one character between bytes, for "
                   "example \"0a 1b ff\".\n");
      return 2;
    }
    count = static_cast<long>(bytes->size());
  }
  // The whole range is checked here, before anything is asked or written.
  if ((name == "read" || name == "write") &&
      (address < 0 || count < 1 || address + count > static_cast<long>(eeprom::kSize))) {
    std::fprintf(stderr,
                 "%ld byte%s at address %ld do not fit the EEPROM: it holds 65536 bytes "
                 "(0x0000 to 0xffff).\n",
                 count, count == 1 ? "" : "s", address);
    return 2;
  }
  const bool one_board_only =
      name == "write-info" || name == "restore" || name == "read" || name == "write";
  if (one_board_only && board < 0) {
    std::fprintf(stderr, "'eeprom %s' works on one daughter board: give --board D.\n",
                 name.c_str());
    return 2;
  }
  if (!session.connect()) return 1;
  if (board >= daughter_board_count(st)) {
    std::fprintf(stderr, "This board has %d daughter boards (0 to %d).\n", daughter_board_count(st),
                 daughter_board_count(st) - 1);
    return 2;
  }

  const auto confirmed = [&](EepromChange change) {
    if (Confirm_EEPROM_Change(st, change, board)) return true;
    std::fprintf(stderr, "Nothing was changed: pass --yes to confirm.\n");
    return false;
  };
  if (name == "info") return info(session, board);
  if (name == "write-info") return write_info(session, o, board);
  if (name == "save-calibration") {
    if (!confirmed(EepromChange::SaveCalibration)) return 1;
    return Save_PedestalsToFlash(st, st, st.log, board) ? 0 : 1;
  }
  if (name == "load-calibration") return Load_Calibrations_And_Reload(st, board) == 0 ? 0 : 1;
  if (name == "dump") return Dump_EEPROM_To_File(st, st, st, board) == 0 ? 0 : 1;
  if (name == "restore") {
    if (!confirmed(EepromChange::Restore)) return 1;
    const int rc = Write_EEPROM_From_DumpFile(st, st, st, board, o.file);
    if (rc == 0) Read_EEPROM_Info(st, st, st, board);
    return rc == 0 ? 0 : 1;
  }
  if (name == "test") {
    if (!confirmed(EepromChange::Test)) return 1;
    return each_board(st, board, [&](int d) { return Test_EEPROM(st, st.log, d); });
  }
  if (name == "erase") {
    if (!confirmed(EepromChange::Erase)) return 1;
    return each_board(st, board, [&](int d) { return Erase_EEPROM(st, st.log, d); });
  }
  if (name == "read") return Read_EEPROM_Bytes(st, st, st.log, board, address, count) == 0 ? 0 : 1;
  if (name == "write") {
    if (!confirmed(EepromChange::WriteBytes)) return 1;
    return Write_EEPROM_Bytes(st, st, st.log, board, address, o.hex) == 0 ? 0 : 1;
  }
  return 2;
}

}  // namespace

void print_daughter_board(BoardLink& st, int d) {
  const EepromPanelValues& p = st.eeprom_panel;
  std::printf("\nDaughter board %d (SAM blocks %d and %d, channels %d to %d)\n", d, 2 * d,
              2 * d + 1, 4 * d, 4 * d + 3);
  std::printf("  serial number      %s%s\n", p.serial.c_str(),
              p.serial_ok == kOtherUnit ? "  (another unit's EEPROM: see the warning above)" : "");
  std::printf("  gain               %s\n", p.gain.c_str());
  std::printf("  offset gain        %s\n", p.offset_gain.c_str());
  std::printf("  SCA type           %s\n", p.sca_type.c_str());
  std::printf("  AC/DC coupling     %s\n", p.acdc_coupling.c_str());
  std::printf("  SAM long type      %s\n", p.sam_long_type.c_str());
  std::printf("  INL calibration    %s (%s, %s, %s)\n", p.inl_valid ? "valid" : "not valid",
              p.calibration_date.c_str(), p.location.c_str(), p.responsible.c_str());
  std::printf("  pedestals          %s\n", p.pedestal_valid ? "valid" : "not valid");
  std::printf("  SAM DAC offsets    %s\n", p.sam_dac_valid ? "valid" : "not valid");
  std::printf("  trigger DACs       %s\n", p.trigger_dac_valid ? "valid" : "not valid");
}

std::shared_ptr<EepromOptions> add_eeprom_command(CLI::App& app) {
  auto o = std::make_shared<EepromOptions>();
  CLI::App* e = app.add_subcommand("eeprom",
                                   "Daughter-board EEPROMs: information, calibration "
                                   "tables, dumps and raw bytes");
  o->command = e;
  e->require_subcommand(1);
  e->fallthrough();
  e->add_option("--board", o->board,
                "Daughter board: an index, or 'all' (the actions marked --board D need one)")
      ->capture_default_str()
      ->option_text("D|all");
  const auto sub = [&](const char* name, const char* help) {
    CLI::App* s = e->add_subcommand(name, help);
    s->fallthrough();
    return s;
  };
  sub("info", "Print the board information and which tables are valid");
  CLI::App* wi =
      sub("write-info", "Write serial number, gains and setup register (--board D, --yes)");
  wi->add_option("--serial", o->serial, "Serial number 'major.minor', at most 7 characters")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            int major = 0, minor = 0;
            if (text.size() <= 7 && eeprom::parse_serial(text, major, minor)) return {};
            return "'" + text + "' is not allowed: give major.minor in at most 7 characters, " +
                   "for example --serial 1.11";
          },
          "MAJOR.MINOR"));
  const auto gain = CLI::Validator(
      [](std::string& text) -> std::string {
        char* end = nullptr;
        const float v = std::strtof(text.c_str(), &end);
        if (!text.empty() && *end == '\0' && eeprom::gain_byte(v)) return {};
        return "'" + text + "' is not allowed: give a number from 0 to 25.5 (stored in tenths), " +
               "for example --gain 1.0";
      },
      "0..25.5");
  wi->add_option("--gain", o->gain, "Board gain, stored in tenths")->check(gain);
  wi->add_option("--offset-gain", o->offset_gain, "Board offset gain, stored in tenths")
      ->check(gain);
  wi->add_option("--sca-type", o->sca_type, "SCA type")->check(whole_number(0, 1, "--sca-type 1"));
  wi->add_option("--acdc", o->acdc_coupling, "AC/DC coupling")
      ->check(whole_number(0, 1, "--acdc 0"));
  wi->add_option("--sam-long", o->sam_long_type, "SAM long type")
      ->check(whole_number(0, 3, "--sam-long 2"));
  sub("save-calibration", "Write the pedestal tables this session holds to the EEPROMs (--yes)");
  sub("load-calibration",
      "Read every calibration table from the EEPROMs and reload the board's corrections");
  sub("dump", "Save the first 65535 bytes of each EEPROM in FlashDump/ of the user directory");
  CLI::App* restore =
      sub("restore", "Write a dump file onto one daughter board (--board D, --yes)");
  restore->add_option("FILE", o->file, "Dump file")->required()->option_text("FILE");
  sub("test", "Write and check a test pattern; it stays in the EEPROM (--yes)");
  sub("erase", "Write zeros over the whole EEPROM (--yes)");
  CLI::App* read = sub("read", "List N bytes from address ADDR (--board D)");
  read->add_option("ADDR", o->address, "Address, decimal or 0x hexadecimal, 0..0xFFFF")
      ->required()
      ->option_text("ADDR");
  read->add_option("N", o->count, "Number of bytes, 1..65536")->required()->option_text("N");
  CLI::App* write =
      sub("write", "Write bytes given as hexadecimal text at ADDR (--board D, --yes)");
  write->add_option("ADDR", o->address, "Address, decimal or 0x hexadecimal, 0..0xFFFF")
      ->required()
      ->option_text("ADDR");
  write->add_option("HEX", o->hex, "Bytes as two hex digits each, separated: \"0a 1b ff\"")
      ->required();
  return o;
}

int command_eeprom(Session& session, const EepromOptions& options) {
  return run(session, options);
}

}  // namespace vx::cli
