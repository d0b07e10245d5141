// Opening, initialising and closing the board, and the firmware versions.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

// Returns 1 on success, 0 on failure.
int Open_Device(State& st);
void Sam_Init(State& st);
void Close_Device(State& st);

std::string Read_MotherBoardFPGAVersion(State& st);
std::string Read_FPGAVersion(State& st, int block);

// The connection panel's Connect button (model: -1 none, 0 desktop, 1 VME).
void Connect_Board(State& st, int model);
// The connection thread's body.
void Start_ConnectionThread(State& st);

// Choosing a model on the connection panel resets the VME base address.
void Select_BoardModel(State& st, int model);

}  // namespace vx
