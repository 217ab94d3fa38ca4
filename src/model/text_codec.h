#pragma once

#include <QString>

#include <optional>
#include <string>

// Song texts are kept as the Shift-JIS (Windows code page 932) bytes of the file; these
// convert them for display and back.
namespace pokopen {

QString decodeSongText(const std::string& bytes);
// The Shift-JIS bytes of a text, or nothing when a character has no Shift-JIS form.
std::optional<std::string> encodeSongText(const QString& text);

} // namespace pokopen
