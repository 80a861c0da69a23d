#include "package_files.h"
#include "test_support.h"

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

// The stored bytes of a zero member, and what its header says of them.
struct ZeroStream {
    std::string deflated;
    std::uint32_t crc = 0;
    std::uint64_t claimed = 0;
    std::uint64_t offset = 0;
};

// A deflate block that ends in a full flush does not look back past itself,
// so one block of a megabyte of zeros can be repeated as often as wanted.
std::unique_ptr<ZeroStream> zeroStream(const ZeroMember &member)
{
    constexpr size_t megabyte = size_t(1) << 20;
    const std::string chunk(megabyte, '\0');
    const uLong chunkCrc = crc32(0, reinterpret_cast<const Bytef *>(chunk.data()), megabyte);
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    const std::string block = deflateRaw(stream, chunk, Z_FULL_FLUSH);
    auto zeros = std::make_unique<ZeroStream>();
    for (std::uint64_t i = 0; i < member.unpacked / megabyte; ++i) {
        zeros->deflated += block;
        zeros->crc = static_cast<std::uint32_t>(crc32_combine(zeros->crc, chunkCrc, megabyte));
    }
    zeros->deflated += deflateRaw(stream, std::string(), Z_FINISH);
    deflateEnd(&stream);
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
        const std::uint64_t take = std::min<std::uint64_t>(length, zeros.deflated.size() - zeros.offset);
        std::memcpy(data, zeros.deflated.data() + zeros.offset, take);
        zeros.offset += take;
        return static_cast<zip_int64_t>(take);
    }
    case ZIP_SOURCE_STAT: {
        auto *stat = static_cast<zip_stat_t *>(data);
        zip_stat_init(stat);
        stat->size = zeros.claimed;
        stat->comp_size = zeros.deflated.size();
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

Members readMembers(const std::filesystem::path &path, zip_flags_t flags)
{
    ZipPtr archive = openZip(path, ZIP_RDONLY);
    Members members;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive.get(), 0); ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        ZipFilePtr file(zip_fopen_index(archive.get(), index, flags));
        if (!file) {
            throw std::runtime_error("cannot open member " + std::to_string(index));
        }
        Member &member = members.emplace_back(Member{zip_get_name(archive.get(), index, ZIP_FL_ENC_RAW), {}});
        char piece[65536];
        for (zip_int64_t got = 0; (got = zip_fread(file.get(), piece, sizeof piece)) > 0;) {
            member.text.append(piece, static_cast<size_t>(got));
        }
    }
    return members;
}

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const std::string wordMain = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const std::string relationshipType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string relationship(const std::string &id, const std::string &type, const std::string &target)
{
    return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"/>";
}

std::string relationships(const std::string &elements)
{
    return declaration
        + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + elements
        + "</Relationships>";
}

std::string customXmlPropertiesOverride(int n)
{
    return "<Override PartName=\"/customXml/itemProps" + std::to_string(n)
        + ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.customXmlProperties+xml\"/>";
}

} // namespace

void writePackage(
    const std::filesystem::path &path, const Members &members, const std::vector<ZeroMember> &zeros)
{
    ZipPtr archive = openZip(path, ZIP_CREATE | ZIP_TRUNCATE);
    const auto add = [&](const std::string &name, zip_source_t *source) {
        if (zip_file_add(archive.get(), name.c_str(), source, 0) < 0) {
            throw std::runtime_error("cannot add " + name);
        }
    };
    for (const Member &member : members) {
        add(member.name, zip_source_buffer(archive.get(), member.text.data(), member.text.size(), 0));
    }
    for (const ZeroMember &member : zeros) {
        add(member.name, zip_source_function(archive.get(), zeroCallback, zeroStream(member).release()));
    }
    if (zip_close(archive.get()) != 0) {
        throw std::runtime_error(std::string("cannot write zip: ") + zip_strerror(archive.get()));
    }
    archive.release();
}

std::string packageBytes(
    const Members &members, const std::vector<std::pair<std::string, std::string>> &replacements)
{
    const TemporaryDirectory folder;
    writePackage(folder / "made.zip", members);
    std::string bytes = readFile(folder / "made.zip");
    for (const auto &[from, to] : replacements) {
        if (from.size() != to.size()) {
            throw std::invalid_argument("a replacement must keep the length");
        }
        for (std::size_t at = bytes.find(from); at != std::string::npos;
             at = bytes.find(from, at + to.size())) {
            bytes.replace(at, from.size(), to);
        }
    }
    return bytes;
}

Members readPackage(const std::filesystem::path &path)
{
    return readMembers(path, 0);
}

Members storedPackage(const std::filesystem::path &path)
{
    return readMembers(path, ZIP_FL_COMPRESSED);
}

Members wordDocument(const DocumentShape &shape)
{
    const std::string &main = shape.mainPart;
    const std::filesystem::path mainPath(main), folder = mainPath.parent_path();
    Members members{
        {"[Content_Types].xml",
            declaration
                + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                  "<Default Extension=\"rels\" "
                  "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                  "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/"
                + main + "\" ContentType=\"" + shape.mainContentType + "\"/>" + shape.contentTypes
                + "</Types>"},
        {"_rels/.rels", relationships(relationship("rId1", shape.packageRelationshipType, main))},
        {main,
            declaration + "<w:document xmlns:w=\"" + wordMain + "\"><w:body>" + shape.body
                + "</w:body></w:document>"},
        {(folder / "_rels" / mainPath.filename()).string() + ".rels",
            relationships(
                relationship("rId1", relationshipType + "styles", "styles.xml") + shape.mainRelationships)},
        {(folder / "styles.xml").string(), declaration + "<w:styles xmlns:w=\"" + wordMain + "\"/>"},
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
            relationships(
                relationship("rId1", relationshipType + "customXmlProps", "itemProps" + number + ".xml"))},
    };
}

std::string customXmlRelationship(int n, const std::string &id)
{
    return relationship(id, relationshipType + "customXml", "../customXml/item" + std::to_string(n) + ".xml");
}

Members documentWithList(const std::string &list, int n, DocumentShape shape)
{
    shape.mainRelationships = customXmlRelationship(n, "rId7") + shape.mainRelationships;
    shape.contentTypes += customXmlPropertiesOverride(n);
    const Members item = customXmlItem(n, list);
    shape.more.insert(shape.more.end(), item.begin(), item.end());
    return wordDocument(shape);
}

std::string field(const std::string &instructionRuns, const std::string &result)
{
    return "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>" + instructionRuns
        + "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" + result
        + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
}

std::string instruction(const std::string &text)
{
    return "<w:r><w:instrText xml:space=\"preserve\">" + text + "</w:instrText></w:r>";
}

std::string wordSourceList(const std::string &records)
{
    const std::string bibliography = "http://schemas.openxmlformats.org/officeDocument/2006/bibliography";
    return "<?xml version=\"1.0\" standalone=\"yes\"?>\n<b:Sources "
           "SelectedStyle=\"\\APASixthEditionOfficeOnline.xsl\" StyleName=\"APA\" Version=\"6\" xmlns:b=\""
        + bibliography + "\" xmlns=\"" + bibliography + "\">" + records + "</b:Sources>";
}

std::string withDocumentType(const std::string &xml)
{
    const size_t declarationEnd = xml.find("?>") + 2;
    return xml.substr(0, declarationEnd) + "<!DOCTYPE b:Sources>" + xml.substr(declarationEnd);
}

} // namespace bibsources::testing
