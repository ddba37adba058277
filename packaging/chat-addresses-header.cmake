# Writes the program's copy of the table of ChatGPT chat addresses
# (extension/chat_addresses.json, which the extension imports) as a C++
# header, so the program and the extension know the same chats.
#   cmake -DTABLE=<chat_addresses.json> -DOUTPUT=<header> -P chat-addresses-header.cmake
cmake_minimum_required(VERSION 3.20)
file(READ ${TABLE} table)
# Only texts that are safe as they are inside a C++ string literal.
function(checked_text value pattern result)
  if(NOT value MATCHES "${pattern}")
    message(FATAL_ERROR "${TABLE}: \"${value}\" is not a chat address shape")
  endif()
  set(${result} "${value}" PARENT_SCOPE)
endfunction()
string(JSON origin GET "${table}" origin)
checked_text("${origin}" "^https://[a-z.]+$" origin)
string(JSON saved_as GET "${table}" saved_as)
checked_text("${saved_as}" "^(/[a-z]+)*/\\{id\\}$" saved_as)
string(JSON count LENGTH "${table}" shapes)
math(EXPR last "${count} - 1")
set(rows "")
foreach(index RANGE ${last})
  string(JSON path GET "${table}" shapes ${index} path)
  checked_text("${path}" "^(/([a-z]+|\\{project\\}))*/\\{id\\}$" path)
  string(JSON kept GET "${table}" shapes ${index} kept)
  if(kept)
    set(kept true)
  else()
    set(kept false)
  endif()
  string(APPEND rows "    {\"${path}\", ${kept}},\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Written by the build from extension/chat_addresses.json: change that table.
#pragma once

#include <array>
#include <string_view>

namespace wendlebox {

// One shape of a chat's page address: its path, where \"{id}\" is the chat's
// id and \"{project}\" any one segment, and whether the program keeps the chat.
struct ChatAddressShape {
  std::string_view path;
  bool kept;
};

inline constexpr std::string_view kChatAddressOrigin = \"${origin}\";
// The address a kept chat is saved at.
inline constexpr std::string_view kChatAddressSavedAs = \"${saved_as}\";
inline constexpr std::array<ChatAddressShape, ${count}> kChatAddressShapes{{
${rows}}};

}  // namespace wendlebox
")
# Unchanged, the header keeps its time, and nothing is compiled again.
configure_file(${OUTPUT}.new ${OUTPUT} COPYONLY)
file(REMOVE ${OUTPUT}.new)
