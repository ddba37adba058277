// Images for the next message to ChatGPT: files and desktop captures.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/attachment.h"
#include "common/result.h"

namespace wendlebox {

inline constexpr std::string_view kScreenshotPrefix = "wendlebox-screen";

inline constexpr std::size_t kMaxImageBytes = 8'000'000;

// A PNG, JPEG, GIF or WebP file of 1 to 8,000,000 bytes, typed by content
// and named after `path`. `bytes` may hold one byte past the limit, which
// is how an oversized file is told without reading it whole.
Result<Attachment> image_attachment(const std::filesystem::path& path, std::string_view bytes);

// The whole desktop, through a Linux screenshot tool or Windows under WSL.
Result<Attachment> screenshot_attachment();

std::string base64_encode(std::string_view bytes);

}  // namespace wendlebox
