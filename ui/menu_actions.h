// The main window's menu items and toolbar actions, each declared once: the name the code
// reaches it by, and its object name, which tests and the screenshot tool find it by.
#pragma once

#include <array>
#include <cstddef>

namespace vx::ui {

// clang-format off
#define VX_MENU_ACTIONS(X) \
  X(BoardConnect,                 "BOARDCONNECT") \
  X(CalibratePedestals,           "CALIBRATE") \
  X(SavePedestalsToFlash,         "SAVE_PED_TO_EEPROM") \
  X(InlCorrection,                "ENABLEINLCORRECTION") \
  X(LoadSetup,                    "LOADSETUP") \
  X(SaveSetup,                    "SAVESETUPINFILE") \
  X(FileMenu,                     "FILEMENU") \
  X(RestrictedAccess,             "RESTRICTED_ACCESS") \
  X(SamRegisters,                 "SAM_REG") \
  X(CalibrateSamDacs,             "CALIBSAMDACOFFSET") \
  X(CalibrateTriggerDacs,         "CALIBTRIGGERDACOFFSET") \
  X(InlCalibration,               "INLCALIB") \
  X(AdvancedFlash,                "ADVANCED_EEPROM") \
  X(Debug,                        "DEBUG") \
  X(DumpFlash,                    "DUMPEEPROMS") \
  X(RunFromFile,                  "RUNFROMFILE") \
  X(SaveRunToFile,                "SAVERUNTOFILE") \
  X(SaveWaveforms,                "SAVEWAVETOFILE") \
  X(SaveWaveformsAndMeasurements, "ADDALLMEASUREMENTS") \
  X(SaveMeasurements,             "SAVEALLMEASUREMENTS") \
  X(ExportRun,                    "EXPORTRUNHDF5") \
  X(ClientCommands,               "EN_START_STOP_CLIENT") \
  X(TransmitToClient,             "EN_TX_DATA2CLIENT") \
  X(Start,                        "START") \
  X(Stop,                         "STOP") \
  X(EnableCursors,                "ENABLECURSORS") \
  X(DeleteCursors,                "DELETECURSORS") \
  X(ZoomIn,                       "ZOOMIN") \
  X(ZoomOut,                      "ZOOMOUT") \
  X(AutoScale,                    "AUTOSCALE") \
  X(PlotAlignment,                "PLOT_ALIGN") \
  X(FirmwareVersion,              "FPGA_VERSION") \
  X(PulserMode,                   "PULSERMODE") \
  X(ChargeMode,                   "CHARGEMODE") \
  X(BufferMonitor,                "BUFFERMONITOR") \
  X(SyncOptions,                  "SYNC_OPTIONS") \
  X(NoiseMeasurements,            "STATISTICS") \
  X(RateMeasurements,             "RATEMEASUREMENTS") \
  X(TimeMeasurements,             "MEASUREMENTS") \
  X(RateVsThreshold,              "PLOTRATEVSTHRESHOLD") \
  X(TcpServer,                    "TCP_SERVER") \
  X(WebMonitor,                   "WEB_MONITOR") \
  X(UserGuide,                    "USER_GUIDE") \
  X(About,                        "ABOUT") \
  X(Exit,                         "EXIT")
// clang-format on

enum class MenuAction {
#define VX_ENUMERATOR(id, name) id,
  VX_MENU_ACTIONS(VX_ENUMERATOR)
#undef VX_ENUMERATOR
};

inline constexpr std::size_t kMenuActionCount = 0
#define VX_COUNT(id, name) +1
    VX_MENU_ACTIONS(VX_COUNT)
#undef VX_COUNT
    ;

inline constexpr std::array<const char*, kMenuActionCount> kMenuActionNames = {
#define VX_NAME(id, name) name,
    VX_MENU_ACTIONS(VX_NAME)
#undef VX_NAME
};

constexpr const char* object_name(MenuAction a) {
  return kMenuActionNames[static_cast<std::size_t>(a)];
}

}  // namespace vx::ui
