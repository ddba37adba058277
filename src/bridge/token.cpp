#include "bridge/token.h"

#include "common/random.h"

Result<std::string> token() { return random_hex(16); }
