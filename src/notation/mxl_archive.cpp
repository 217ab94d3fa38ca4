#include "notation/mxl_archive.h"

#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

namespace pokopen {

namespace {

constexpr const char* CONTAINER = "META-INF/container.xml";
constexpr std::size_t MAX_CONTAINER_BYTES = 1 << 20;

struct ArchiveCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

MxlResult refuse(std::string entry, std::string english, std::string japanese) {
    return {false, std::move(entry), std::move(english), std::move(japanese)};
}

// Inflates one entry, stopping past `limit` whatever its header claims.
MxlResult readEntry(zip_t* archive, const std::string& name, std::string& out, std::size_t limit) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive, name.c_str(), 0, &stat) != 0)
        return refuse(name, "the archive lacks an entry it names", "アーカイブに指定された項目がありません");
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > limit)
        return refuse(name, "an entry inflates to more than any score needs",
                      "アーカイブの項目が大きすぎます");
    const std::unique_ptr<zip_file_t, EntryCloser> file(zip_fopen(archive, name.c_str(), 0));
    if (!file)
        return refuse(name, "an entry cannot be read (encrypted or of an unknown compression)",
                      "アーカイブの項目を読めません");
    out.clear();
    char buffer[1 << 16];
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
        if (n < 0)
            return refuse(name, "an entry is damaged", "アーカイブの項目が壊れています");
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > limit)
            return refuse(name, "an entry inflates to more than any score needs",
                          "アーカイブの項目が大きすぎます");
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return {true, {}, {}, {}};
}

// The score's path as the container names it: the first rootfile of MusicXML (or of no type).
std::string scorePathOf(const std::string& container) {
    QXmlStreamReader xml(QByteArray::fromRawData(container.data(), static_cast<qsizetype>(container.size())));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::DTD || xml.tokenType() == QXmlStreamReader::EntityReference)
            return {}; // a container needs no declarations
        if (xml.isStartElement() && xml.name() == u"rootfile") {
            const QStringView type = xml.attributes().value(QLatin1String("media-type"));
            if (type.isEmpty() || type == u"application/vnd.recordare.musicxml+xml")
                return xml.attributes().value(QLatin1String("full-path")).toString().toStdString();
        }
    }
    return {};
}

} // namespace

MxlResult readMxlScore(const std::string& path, std::string& document, std::size_t limit) {
    int error = 0;
    const std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!archive)
        return error == ZIP_ER_OPEN || error == ZIP_ER_NOENT || error == ZIP_ER_READ
                   ? refuse({}, "cannot be opened", "開けません")
                   : refuse({}, "not a compressed MusicXML file (no zip archive)",
                            "圧縮されたMusicXMLファイルではありません");
    std::string container;
    MxlResult r = readEntry(archive.get(), CONTAINER, container, MAX_CONTAINER_BYTES);
    if (!r.ok)
        return r;
    const std::string score = scorePathOf(container);
    if (score.empty())
        return refuse(CONTAINER, "the container names no score", "コンテナに楽譜の指定がありません");
    return readEntry(archive.get(), score, document, limit);
}

} // namespace pokopen
