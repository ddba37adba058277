// Installing the program into the user's shell path, and checking it.
#pragma once

#include "common/result.h"

Status setup();
Status doctor();
