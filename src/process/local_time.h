// The local time as the user's own clock shows it: `date` knows the
// machine's time zone however it is set up.
#pragma once

#include <string>

namespace wendlebox {

// "YYYY-MM-DD HH:MM:SS" in local time from `date`, else "<seconds> UTC".
std::string local_timestamp();

}  // namespace wendlebox
