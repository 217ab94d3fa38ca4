#include "recovery/recovery_file.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace pokopen {

namespace {

constexpr std::string_view MAGIC = "POKOPEN-AUTOSAVE 1";
constexpr int HEADER_LINES = 2;

FileResult malformed(int line, std::string message, std::string japanese) {
    return {FileError::Malformed, line, std::move(message), false, std::move(japanese)};
}

// One line without its end (LF, CR LF); false when no line end follows.
bool takeLine(std::string_view& bytes, std::string_view& line) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos)
        return false;
    line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    bytes.remove_prefix(end + 1);
    return true;
}

// The song file's fingerprint from the description; nothing when it is missing or unreadable
// (an autosave of a song never saved, or of an older version), so that no save is refused for it.
std::optional<FileFingerprint> fingerprintOf(const QJsonObject& header) {
    bool sizeOk = false;
    bool timeOk = false;
    bool hashOk = false;
    FileFingerprint f;
    f.size = header.value(QStringLiteral("fileSize")).toString().toLongLong(&sizeOk);
    f.modifiedNs = header.value(QStringLiteral("fileTime")).toString().toLongLong(&timeOk);
    f.hash = header.value(QStringLiteral("fileHash")).toString().toULongLong(&hashOk, 16);
    if (!sizeOk || !timeOk || !hashOk)
        return std::nullopt;
    return f;
}

} // namespace

std::string serializeRecovery(const RecoveryInfo& info, const Song& song) {
    const std::string songText = serializeKn2(song);
    QJsonObject header;
    header.insert(QStringLiteral("path"), QString::fromStdString(info.filePath));
    header.insert(QStringLiteral("title"), QString::fromStdString(info.fileTitle));
    header.insert(QStringLiteral("time"), info.time.toUTC().toString(Qt::ISODateWithMs));
    header.insert(QStringLiteral("bytes"), static_cast<qint64>(songText.size()));
    if (const auto& f = info.fileFingerprint) {
        header.insert(QStringLiteral("fileSize"), QString::number(f->size));
        header.insert(QStringLiteral("fileTime"), QString::number(f->modifiedNs));
        header.insert(QStringLiteral("fileHash"), QString::number(f->hash, 16));
    }
    // Compact JSON escapes every line break inside the strings, so the header is one line.
    const QByteArray json = QJsonDocument(header).toJson(QJsonDocument::Compact);
    std::string out;
    out.reserve(MAGIC.size() + static_cast<std::size_t>(json.size()) + songText.size() + 4);
    out.append(MAGIC);
    out.append("\r\n");
    out.append(json.constData(), static_cast<std::size_t>(json.size()));
    out.append("\r\n");
    out.append(songText);
    return out;
}

FileResult parseRecovery(std::string_view bytes, RecoveryInfo& info, Song& song) {
    std::string_view line;
    if (!takeLine(bytes, line) || line != MAGIC)
        return malformed(1, "not an autosave file", "自動保存のファイルではありません");
    if (!takeLine(bytes, line))
        return malformed(2, "the description is missing", "曲の説明がありません");
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return malformed(2, "the description is unreadable", "曲の説明が読めません");
    const QJsonObject header = doc.object();
    const QJsonValue path = header.value(QStringLiteral("path"));
    const QJsonValue title = header.value(QStringLiteral("title"));
    const QJsonValue time = header.value(QStringLiteral("time"));
    const QJsonValue size = header.value(QStringLiteral("bytes"));
    if (!path.isString() || !title.isString() || !time.isString() || !size.isDouble())
        return malformed(2, "the description is incomplete", "曲の説明が欠けています");
    const QDateTime when = QDateTime::fromString(time.toString(), Qt::ISODateWithMs);
    if (!when.isValid())
        return malformed(2, "the time is unreadable", "自動保存の時刻が読めません");
    if (size.toDouble() != static_cast<double>(bytes.size()))
        return malformed(HEADER_LINES + 1, "the song is cut short or too long",
                         "曲の長さが記録と合いません（途中で切れています）");

    Song parsed;
    FileResult result = parseKn2(bytes, parsed);
    if (!result.ok()) {
        if (result.line > 0)
            result.line += HEADER_LINES;
        return result;
    }
    info.filePath = path.toString().toStdString();
    info.fileTitle = title.toString().toStdString();
    info.time = when.toUTC();
    info.fileFingerprint = fingerprintOf(header);
    song = std::move(parsed);
    return result;
}

} // namespace pokopen
