// What the program and the extension say to each other over the bridge, as
// JSON: the job offered, the result posted back, and the program's answer
// to a result.
#pragma once

#include <string_view>

#include "bridge/exchange.h"
#include "bridge/http.h"
#include "common/json.h"
#include "common/result.h"

namespace wendlebox {

Json job_json(const Job& job);
Result<JobResult> decode_job_result(std::string_view body);

// The answer to a result the exchange took (or not) as `delivery`.
http::Response delivery_answer(JobExchange::Delivery delivery);

}  // namespace wendlebox
