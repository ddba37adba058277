// Which chat a ChatGPT page address shows, by the table of address shapes
// (chat_addresses.json) that the program's build reads too, so both sides
// know the same chats. A new chat is first shown at a placeholder
// (local-chatgpt%3A<uuid>, WEB:<uuid>, WEB%3A<uuid>), then at the server's
// address; only a full UUID is the server's and names the chat.
import TABLE from "./chat_addresses.json";

const SERVER_ID = /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$/i;

// The id segment of `path` if the path has the shape (segments after it may
// follow), else null. "{project}" and "{id}" stand for one segment each.
function idInShape(path, shape) {
  const segments = path.split("/");
  const wanted = shape.split("/");
  let id = null;
  for (let index = 1; index < wanted.length; index += 1) {
    const segment = segments[index];
    if (!segment) return null;
    if (wanted[index] === "{id}") id = segment;
    else if (wanted[index] !== "{project}" && wanted[index] !== segment) return null;
  }
  return segments[0] === "" ? id : null;
}

// The chat a page address shows: its server id (null while the address
// is a placeholder), or null for a page that shows no chat.
function chatOf(path) {
  for (const shape of TABLE.shapes) {
    const id = idInShape(path, shape.path);
    if (id !== null) return { id: SERVER_ID.test(id) ? id.toLowerCase() : null };
  }
  return null;
}

// Whether the page address `path` is a placeholder for a chat the server
// has not named yet.
export function placeholderAddress(path) {
  const chat = chatOf(path);
  return Boolean(chat && !chat.id);
}

// Whether a move of the page from `from` to `to` keeps the same chat: a
// page that named no chat yet (the new-chat page, or a placeholder) gets
// its address, a named chat may be shown at another address of the same
// id (inside its Project or not); any other move is to another chat.
export function sameChat(from, to) {
  if (from === to) return true;
  const before = chatOf(from);
  const after = chatOf(to);
  if (!after) return false;
  return !before || !before.id || before.id === after.id;
}
