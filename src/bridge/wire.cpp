#include "bridge/wire.h"

namespace wendlebox {

Json job_json(const Job& job) {
  Json value{{"id", job.id}, {"prompt", job.prompt}};
  if (job.probe) value["probe"] = true;
  if (!job.attachments.empty()) {
    Json list = Json::array();
    for (const Attachment& a : job.attachments) list.push_back({{"base64", a.base64}, {"mime", a.mime}, {"name", a.name}});
    value["attachments"] = std::move(list);
  }
  return value;
}

Result<JobResult> decode_job_result(std::string_view body) {
  return decode_object(body, [](const JsonFields& fields) -> Result<JobResult> {
    JobResult result;
    auto id = fields.required_unsigned("id");
    if (!id) return std::unexpected(id.error());
    result.id = *id;
    if (auto read = fields.read({{"text", &result.text}, {"url", &result.url}, {"error", &result.error}}); !read)
      return std::unexpected(read.error());
    return result;
  });
}

http::Response delivery_answer(JobExchange::Delivery delivery) {
  switch (delivery) {
    case JobExchange::Delivery::Accepted:
      return {200, Json{{"ok", true}}};
    case JobExchange::Delivery::Duplicate:
      return {200, Json{{"duplicate", true}, {"ok", true}}};
    case JobExchange::Delivery::Stale:
      break;
  }
  return http::error_response(409, "Old result");
}

}  // namespace wendlebox
