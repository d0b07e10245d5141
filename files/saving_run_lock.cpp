#include "files/saving_run_lock.h"

#include <string>

#include "app/message_log.h"

namespace vx {

bool Saves_OrTransmits(Settings& st) {
  return st.acq.SaveDataInFile == 1 || st.acq.SaveMeasurementsInFile == 1 ||
         st.TransmitRunData().load() == 1;
}

bool Run_SavesOrTransmits(State& st) {
  const bool run_on = st.AcquisitionRunning.load() == 1 || st.RestartPending.load() == 1;
  return run_on && Saves_OrTransmits(st);
}

bool Refuse_ChangeDuringSavingRun(State& st, std::string_view setting) {
  if (!Run_SavesOrTransmits(st)) return false;
  Write_InfoMessage(st,
                    "The " + std::string(setting) +
                        " cannot change while a run saves or sends its data: every record of "
                        "its files must match their header. Stop the run first.\n",
                    kWarning);
  return true;
}

}  // namespace vx
