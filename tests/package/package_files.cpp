#include "package_files.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <zip.h>
#include <zlib.h>

namespace bibsources::testing {

namespace {

struct ZipDiscard {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

ZipPtr openZip(const std::filesystem::path &path, int flags)
{
    int error = 0;
    ZipPtr archive(zip_open(path.c_str(), flags, &error));
    if (!archive) {
        throw std::runtime_error("cannot open zip " + path.string() + ": " + std::to_string(error));
    }
    return archive;
}

std::string readMember(zip_t *archive, zip_uint64_t index, zip_flags_t flags)
{
    ZipFilePtr file(zip_fopen_index(archive, index, flags));
    if (!file) {
        throw std::runtime_error("cannot open member " + std::to_string(index));
    }
    std::string text;
    char piece[65536];
    zip_int64_t got = 0;
    while ((got = zip_fread(file.get(), piece, sizeof piece)) > 0) {
        text.append(piece, static_cast<size_t>(got));
    }
    return text;
}

// Deflate blocks that each end in a full flush do not look back past
// themselves, so one block of a megabyte of zeros can be repeated as often
// as wanted.
struct ZeroStream {
    std::string block; // a megabyte of zeros, one flushed block
    std::string finish; // the empty final block
    std::uint64_t blocks = 0;
    std::uint32_t crc = 0;
    std::uint64_t claimed = 0;
    std::uint64_t offset = 0;

    std::uint64_t size() const { return block.size() * blocks + finish.size(); }
};

std::string deflateRaw(z_stream &stream, const std::string &input, int flush)
{
    std::string output(input.size() + 1024, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = reinterpret_cast<Bytef *>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    deflate(&stream, flush);
    output.resize(output.size() - stream.avail_out);
    return output;
}

std::unique_ptr<ZeroStream> zeroStream(const ZeroMember &member)
{
    constexpr size_t megabyte = size_t(1) << 20;
    auto zeros = std::make_unique<ZeroStream>();
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const std::string chunk(megabyte, '\0');
    zeros->block = deflateRaw(stream, chunk, Z_FULL_FLUSH);
    zeros->finish = deflateRaw(stream, std::string(), Z_FINISH);
    deflateEnd(&stream);
    zeros->blocks = member.unpacked / megabyte;
    const uLong chunkCrc = crc32(0, reinterpret_cast<const Bytef *>(chunk.data()), megabyte);
    for (std::uint64_t i = 0; i < zeros->blocks; ++i) {
        zeros->crc = static_cast<std::uint32_t>(crc32_combine(zeros->crc, chunkCrc, megabyte));
    }
    zeros->claimed = member.claimed;
    return zeros;
}

zip_int64_t zeroCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    ZeroStream &zeros = *static_cast<ZeroStream *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        zeros.offset = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        char *out = static_cast<char *>(data);
        zip_uint64_t written = 0;
        const std::uint64_t blockBytes = zeros.block.size() * zeros.blocks;
        while (written < length && zeros.offset < zeros.size()) {
            const std::string &piece = zeros.offset < blockBytes ? zeros.block : zeros.finish;
            const std::uint64_t within
                = zeros.offset < blockBytes ? zeros.offset % zeros.block.size() : zeros.offset - blockBytes;
            const std::uint64_t take = std::min<std::uint64_t>(length - written, piece.size() - within);
            std::memcpy(out + written, piece.data() + within, take);
            written += take;
            zeros.offset += take;
        }
        return static_cast<zip_int64_t>(written);
    }
    case ZIP_SOURCE_STAT: {
        auto *stat = static_cast<zip_stat_t *>(data);
        zip_stat_init(stat);
        stat->size = zeros.claimed;
        stat->comp_size = zeros.size();
        stat->comp_method = ZIP_CM_DEFLATE;
        stat->crc = zeros.crc;
        stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_FREE:
        delete &zeros;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    default:
        return 0;
    }
}

} // namespace

void writePackage(const std::filesystem::path &path, const Members &members)
{
    writePackage(path, members, {});
}

void writePackage(
    const std::filesystem::path &path, const Members &members, const std::vector<ZeroMember> &zeros)
{
    ZipPtr archive = openZip(path, ZIP_CREATE | ZIP_TRUNCATE);
    for (const Member &member : members) {
        zip_source_t *source = zip_source_buffer(archive.get(), member.text.data(), member.text.size(), 0);
        if (zip_file_add(archive.get(), member.name.c_str(), source, 0) < 0) {
            throw std::runtime_error("cannot add " + member.name);
        }
    }
    for (const ZeroMember &member : zeros) {
        zip_source_t *source = zip_source_function(archive.get(), zeroCallback, zeroStream(member).release());
        if (zip_file_add(archive.get(), member.name.c_str(), source, 0) < 0) {
            throw std::runtime_error("cannot add " + member.name);
        }
    }
    if (zip_close(archive.get()) != 0) {
        throw std::runtime_error(std::string("cannot write zip: ") + zip_strerror(archive.get()));
    }
    archive.release();
}

Members readPackage(const std::filesystem::path &path)
{
    ZipPtr archive = openZip(path, ZIP_RDONLY);
    Members members;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive.get(), 0); ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        members.push_back({zip_get_name(archive.get(), index, 0), readMember(archive.get(), index, 0)});
    }
    return members;
}

std::vector<std::string> storedBytes(const std::filesystem::path &path)
{
    ZipPtr archive = openZip(path, ZIP_RDONLY);
    std::vector<std::string> stored;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive.get(), 0); ++i) {
        stored.push_back(readMember(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED));
    }
    return stored;
}

Members wordDocument(const DocumentShape &shape)
{
    const std::string mainName = shape.mainPart;
    const auto slash = mainName.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : mainName.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? mainName : mainName.substr(slash + 1);
    Members members{
        {"[Content_Types].xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" "
            "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/"
                + mainName + "\" ContentType=\"" + shape.mainContentType + "\"/>" + shape.contentTypes
                + "</Types>"},
        {"_rels/.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" Type=\""
                + shape.packageRelationshipType + "\" Target=\"" + mainName + "\"/></Relationships>"},
        {mainName,
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
            "<w:body>"
                + shape.body + "</w:body></w:document>"},
        {folder + "_rels/" + base + ".rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
            "Target=\"styles.xml\"/>"
                + shape.mainRelationships + "</Relationships>"},
        {folder + "styles.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"/>"},
    };
    members.insert(members.end(), shape.more.begin(), shape.more.end());
    return members;
}

Members customXmlItem(int n, const std::string &text)
{
    const std::string number = std::to_string(n);
    return {
        {"customXml/item" + number + ".xml", text},
        {"customXml/itemProps" + number + ".xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
            "<ds:datastoreItem ds:itemID=\"{6E1A5B9C-0000-4000-8000-00000000000"
                + number
                + "}\" xmlns:ds=\"http://schemas.openxmlformats.org/officeDocument/2006/customXml\">"
                  "<ds:schemaRefs/></ds:datastoreItem>"},
        {"customXml/_rels/item" + number + ".xml.rels",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId1\" "
            "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXmlProps\" "
            "Target=\"itemProps"
                + number + ".xml\"/></Relationships>"},
    };
}

std::string customXmlRelationship(int n, const std::string &id)
{
    return "<Relationship Id=\"" + id
        + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml\" "
          "Target=\"../customXml/item"
        + std::to_string(n) + ".xml\"/>";
}

std::string customXmlPropertiesOverride(int n)
{
    return "<Override PartName=\"/customXml/itemProps" + std::to_string(n)
        + ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.customXmlProperties+xml\"/>";
}

} // namespace bibsources::testing
