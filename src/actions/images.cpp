#include "actions/images.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <fmt/format.h>

#include "common/env.h"
#include "common/files.h"
#include "process/process.h"
#include "common/text.h"

namespace wendlebox {

namespace {

struct ImageType {
  const char* mime;
  const char* extension;
};

std::optional<ImageType> detect_type(std::string_view bytes) {
  if (bytes.size() >= 8 && bytes.starts_with("\x89PNG\r\n\x1a\n")) return ImageType{"image/png", "png"};
  if (bytes.size() >= 3 && bytes.starts_with("\xff\xd8\xff")) return ImageType{"image/jpeg", "jpg"};
  if (bytes.size() >= 6 && (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")))
    return ImageType{"image/gif", "gif"};
  if (bytes.size() >= 13 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP")
    return ImageType{"image/webp", "webp"};
  return std::nullopt;
}

// The stem cut to 60 characters, with everything but ASCII letters, digits
// and "-" turned into "_", so the name is safe in any upload form.
std::string attachment_stem(const std::filesystem::path& path) {
  const std::string stem = lossy_utf8(path.filename().stem().native());
  const std::string_view kept = first_chars(stem, 60);
  std::string name;
  for (std::size_t pos = 0; pos < kept.size();) {
    const char32_t c = next_char(kept, pos);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    name += plain ? static_cast<char>(c) : '_';
  }
  return name.empty() ? "image" : name;
}

// The capture script for Windows PowerShell: the virtual screen across all
// monitors, as JPEG, written to standard output in Base64.
constexpr std::string_view kCaptureScript =
    "$ErrorActionPreference = 'Stop'\n"
    "Add-Type -AssemblyName System.Drawing\n"
    "Add-Type -AssemblyName System.Windows.Forms\n"
    "$rect = [System.Windows.Forms.SystemInformation]::VirtualScreen\n"
    "if ($rect.Width -lt 1 -or $rect.Height -lt 1) { throw 'No desktop display is available.' }\n"
    "$bitmap = [System.Drawing.Bitmap]::new($rect.Width, $rect.Height)\n"
    "$graphics = [System.Drawing.Graphics]::FromImage($bitmap)\n"
    "$stream = [System.IO.MemoryStream]::new()\n"
    "try {\n"
    "    $graphics.CopyFromScreen($rect.Left, $rect.Top, 0, 0, $rect.Size)\n"
    "    $bitmap.Save($stream, [System.Drawing.Imaging.ImageFormat]::Jpeg)\n"
    "    [Console]::Write([Convert]::ToBase64String($stream.ToArray()))\n"
    "} finally {\n"
    "    $stream.Dispose()\n"
    "    $graphics.Dispose()\n"
    "    $bitmap.Dispose()\n"
    "}";

std::string utf16le(std::string_view text) {
  std::string out;
  const auto unit = [&](char16_t u) { out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; };
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = next_char(text, pos);
    if (c < 0x10000) {
      unit(static_cast<char16_t>(c));
    } else {
      unit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      unit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

Result<Attachment> windows_screenshot() {
  auto capture = run_process(ProcessSpec{.argv = {"powershell.exe", "-NoProfile", "-NonInteractive",
                                                  "-EncodedCommand", base64_encode(utf16le(kCaptureScript))}});
  if (!capture) return failure("Could not start Windows screenshot capture: " + capture.error().message);
  if (!capture->status.success())
    return failure("Windows screenshot capture failed: " + std::string(trim(lossy_utf8(capture->errors))));
  if (!is_valid_utf8(capture->output)) return failure("Screenshot capture returned invalid text");
  const std::string_view text = trim(capture->output);
  if (text.empty() || text.size() * 3 / 4 > kMaxImageBytes) return failure("Screenshot is empty or larger than 8 MB");
  return Attachment{"wendlebox-screen.jpg", "image/jpeg", std::string(text)};
}

Result<Attachment> linux_screenshot() {
  // A folder of our own (0700, a fresh name) holds the capture, so no other
  // user of the temporary folder can plant or read it.
  std::string pattern = (std::filesystem::path(process_env("TMPDIR").value_or("/tmp")) / "wendlebox-screen-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return os_failure();
  const std::filesystem::path folder = pattern;
  const std::filesystem::path file = folder / "screen.png";
  const std::string target = file.string();
  struct Cleanup {
    const std::filesystem::path& folder;
    ~Cleanup() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  } cleanup{folder};
  const std::vector<std::vector<std::string>> tools{
      {"grim", target}, {"gnome-screenshot", "-f", target}, {"scrot", target}, {"import", "-window", "root", target}};
  std::error_code ignored;
  for (const auto& argv : tools) {
    std::filesystem::remove(file, ignored);
    auto ran = run_process(ProcessSpec{.argv = argv});
    if (!ran || !ran->status.success()) continue;
    auto bytes = read_file(file);
    if (!bytes) return failure("Could not read screenshot: " + bytes.error().message);
    if (bytes->empty() || bytes->size() > kMaxImageBytes) return failure("Screenshot is empty or larger than 8 MB");
    return Attachment{"wendlebox-screen.png", "image/png", base64_encode(*bytes)};
  }
  return failure("Could not capture the desktop. Install grim, gnome-screenshot, scrot, or ImageMagick's import, then retry.");
}

}  // namespace

Result<Attachment> image_attachment(const std::filesystem::path& path, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > kMaxImageBytes) return failure("Image is empty or larger than 8 MB");
  const std::optional<ImageType> type = detect_type(bytes);
  if (!type) return failure("Not a supported image. Use PNG, JPEG, GIF, or WebP.");
  return Attachment{fmt::format("{}.{}", attachment_stem(path), type->extension), type->mime, base64_encode(bytes)};
}

Result<Attachment> screenshot_attachment() { return is_wsl() ? windows_screenshot() : linux_screenshot(); }

std::string base64_encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    out += {kAlphabet[group >> 18], kAlphabet[(group >> 12) & 63], kAlphabet[(group >> 6) & 63], kAlphabet[group & 63]};
  }
  if (const std::size_t left = bytes.size() - i; left > 0) {
    const std::uint32_t group = byte(i) << 16 | (left == 2 ? byte(i + 1) << 8 : 0);
    out += {kAlphabet[group >> 18], kAlphabet[(group >> 12) & 63], left == 2 ? kAlphabet[(group >> 6) & 63] : '=', '='};
  }
  return out;
}

}  // namespace wendlebox
