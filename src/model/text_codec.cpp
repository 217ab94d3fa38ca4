#include "model/text_codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace pokopen {

namespace {
constexpr const char* CODEC = "windows-31j";
}

QString decodeSongText(const std::string& bytes) {
    QStringDecoder decoder(CODEC);
    QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return decoder.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()))
                              : text;
}

std::optional<std::string> encodeSongText(const QString& text) {
    QStringEncoder encoder(CODEC, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder(text);
    if (encoder.hasError())
        return std::nullopt;
    // ICU substitutes characters it cannot map; a round trip tells.
    const std::string out(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (decodeSongText(out) != text)
        return std::nullopt;
    return out;
}

} // namespace pokopen
