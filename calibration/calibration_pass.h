// What the three calibrations share: the "Completion Status" dialog with its cancellation,
// a readout pass read directly from the board with a time limit, and the re-indexing of an
// event's samples by physical cell.
#pragma once

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// How long a readout pass waits for the board before the calibration gives up.
inline constexpr double kCalibrationReadoutTimeoutS = 5.0;

// The progress dialog for the lifetime of the object. update() returns false once the user
// asked to end the calibration (closed the dialog, or Ctrl-C on the command line).
class CalibrationProgress {
 public:
  explicit CalibrationProgress(State& st);
  ~CalibrationProgress();
  CalibrationProgress(const CalibrationProgress&) = delete;
  CalibrationProgress& operator=(const CalibrationProgress&) = delete;
  bool update(int percent);

 private:
  State& st_;
};

bool calibration_cancelled(const BoardLink& st);

// Marks a calibration as running for the lifetime of the object; a second one at the same
// time is refused (acquired() is false).
class CalibrationSlot {
 public:
  explicit CalibrationSlot(State& st);
  ~CalibrationSlot();
  CalibrationSlot(const CalibrationSlot&) = delete;
  CalibrationSlot& operator=(const CalibrationSlot&) = delete;
  bool acquired() const { return acquired_; }
  // A register access failed since the slot was taken (each failure has been reported).
  bool communication_failed() const;

 private:
  State& st_;
  bool acquired_;
  int errors_at_start_;
};

enum class PassResult { Events, Nothing, Failed };

// Arms the boards (with the software trigger of the "Auto" source) and reads the board's
// buffer. Events: the buffer holds events; Nothing: the board stayed silent for the time
// limit or the user cancelled; Failed: the library reported an error.
PassResult Read_CalibrationPass(State& st, double timeout_s = kCalibrationReadoutTimeoutS);

// PhysicallyOrderedValues (and ModuloValues for SelectedLine) of one block from the decoded
// event: sample k of a record starting at cell T belongs to cell (k + T - T mod 16) mod 1024.
void Build_PhysicallyOrderedValues(State& st, int block);

// False, with an error message, when no board is connected to calibrate.
bool calibration_board_ready(Settings& st, BoardLink& link, MessageLog& log);

// A calibration measures, and stores, every SAM block: channels the user switched off are
// switched on for its duration (the snapshot it restores gives them back) and the user is
// told so.
void Enable_AllChannelsForCalibration(BoardPort port);

}  // namespace vx
