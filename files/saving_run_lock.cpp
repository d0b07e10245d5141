#include "files/saving_run_lock.h"

#include <string>

#include "app/message_log.h"

namespace vx {

bool Saves_OrTransmits(Settings& st) {
  return st.acq.SaveDataInFile == 1 || st.acq.SaveMeasurementsInFile == 1 ||
         st.TransmitRunData().load() == 1;
}

bool Run_SavesOrTransmits(const ControlPort& port) {
  return port.run_going_on() && Saves_OrTransmits(port.settings);
}

bool Refuse_ChangeDuringSavingRun(const ControlPort& port, std::string_view setting) {
  if (!Run_SavesOrTransmits(port)) return false;
  Write_InfoMessage(port.links.log,
                    "The " + std::string(setting) +
                        " cannot change while a run saves or sends its data: every record of "
                        "its files must match their header. Stop the run first.\n",
                    kWarning);
  return true;
}

}  // namespace vx
