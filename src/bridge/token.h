// The session token: 16 random bytes as 32 lower-case hex characters.
#pragma once

#include <string>

#include "common/result.h"

Result<std::string> token();
