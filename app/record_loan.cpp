#include "app/record_loan.h"

#include <cstring>

namespace vx {

void Lend_Records(State& st, std::function<void()> work, std::function<void()> returned) {
  // The loop reads the records, and the end-of-run handler it queues too: both are over
  // before the worker may write them.
  if (st.AcquisitionRunning.load() == 1) st.request_run_end();
  st.ui.wait_until([&] {
    return !Records_Lent(st) && st.AcquisitionRunning.load() == 0 && st.RunEndPending.load() == 0;
  });

  ParamRecords& shown = st.ShownRecords;
  std::memcpy(&shown.acq, &st.acq, sizeof st.acq);
  std::memcpy(&shown.board, &st.board, sizeof st.board);
  std::memcpy(&shown.sys, &st.sys, sizeof st.sys);
  std::memcpy(&shown.gui, &st.gui, sizeof st.gui);
  shown.sam = st.sam;
  st.RecordsLent = 1;
  st.ui.records_lent(true);

  st.pool.schedule([&st, work = std::move(work), returned = std::move(returned)] {
    work();
    st.RecordsLent = 0;
    st.ui.post([&st, returned] {
      // Lent again meanwhile: that loan's return tells the front end.
      if (!Records_Lent(st)) st.ui.records_lent(false);
      if (returned) returned();
    });
  });
}

bool Records_Lent(const Settings& st) {
  return st.RecordsLent.load() == 1;
}

RecordsView Shown_Records(const Settings& st) {
  if (Records_Lent(st)) {
    const ParamRecords& r = st.ShownRecords;
    return {r.acq, r.board, r.sys, r.gui, r.sam};
  }
  return {st.acq, st.board, st.sys, st.gui, st.sam};
}

}  // namespace vx
