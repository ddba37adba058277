#include "frontend/setup.h"

Status setup() { return failure("Not available yet: setup"); }
Status doctor() { return failure("Not available yet: doctor"); }
