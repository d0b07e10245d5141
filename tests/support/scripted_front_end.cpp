#include "support/scripted_front_end.h"
