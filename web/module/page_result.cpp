#include "page_result.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace bibsources {

namespace {

// Appends `text` as a JSON string. Bytes from 0x80 on are kept as they are:
// the page decodes the whole text from UTF-8 at once, and each byte that is
// not UTF-8 becomes U+FFFD there, as it would in a string of its own.
void appendJsonString(std::string &json, std::string_view text)
{
    json += '"';
    for (const char byte : text) {
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += byte;
        } else if (static_cast<unsigned char>(byte) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            json += escaped;
        } else {
            json += byte;
        }
    }
    json += '"';
}

// One JSON object, its members added in order.
class JsonObject {
public:
    JsonObject &text(std::string_view name, std::string_view value)
    {
        appendJsonString(nameOf(name), value);
        return *this;
    }
    JsonObject &number(std::string_view name, int value)
    {
        nameOf(name) += std::to_string(value);
        return *this;
    }
    JsonObject &flag(std::string_view name, bool value)
    {
        nameOf(name) += value ? "true" : "false";
        return *this;
    }
    // `value` is JSON text already.
    JsonObject &json(std::string_view name, std::string_view value)
    {
        nameOf(name) += value;
        return *this;
    }
    std::string done() { return std::move(body) + '}'; }

private:
    std::string &nameOf(std::string_view name)
    {
        body += body.size() == 1 ? "" : ",";
        appendJsonString(body, name);
        body += ':';
        return body;
    }

    std::string body = "{";
};

std::string jsonArray(const std::vector<std::string> &jsonItems)
{
    std::string json = "[";
    for (const std::string &item : jsonItems) {
        json += json.size() == 1 ? "" : ",";
        json += item;
    }
    return json + ']';
}

std::string stringsJson(const std::vector<std::string> &strings)
{
    std::string json = "[";
    for (const std::string &text : strings) {
        json += json.size() == 1 ? "" : ",";
        appendJsonString(json, text);
    }
    return json + ']';
}

const char *kindName(Message::Kind kind)
{
    switch (kind) {
    case Message::Kind::Parser:
        return "parser";
    case Message::Kind::Skipped:
        return "skipped";
    case Message::Kind::Changed:
        return "changed";
    case Message::Kind::Input:
        return "input";
    }
    return "parser";
}

std::string messageJson(const std::string &inputPath, const Message &message)
{
    return JsonObject()
        .number("line", message.line)
        .number("lastLine", message.lastLine)
        .text("kind", kindName(message.kind))
        .text("text", message.text)
        .text("shown", messageLine(inputPath, message))
        .done();
}

std::string inputJson(const InputReport &input)
{
    std::vector<std::string> messages;
    messages.reserve(input.messages.size());
    for (const Message &message : input.messages) {
        messages.push_back(messageJson(input.inputPath, message));
    }
    return JsonObject()
        .text("inputPath", input.inputPath)
        .number("recordsWritten", input.recordsWritten)
        .number("entriesSkipped", input.entriesSkipped)
        .text("error", input.error)
        .json("messages", jsonArray(messages))
        .done();
}

std::string mergeJson(const MergeReport &merge)
{
    return JsonObject()
        .flag("merged", merge.merged)
        .number("recordsKept", merge.recordsKept)
        .number("recordsReplaced", merge.recordsReplaced)
        .number("recordsAdded", merge.recordsAdded)
        .json("messages", stringsJson(merge.messages))
        .done();
}

// What became of a document's own source list (what became of the records
// it held is in the result's merge).
std::string documentJson(const DocumentReport &report)
{
    return JsonObject()
        .flag("intoDocument", report.intoDocument)
        .flag("tidyImplied", report.tidyImplied)
        .text("listPart", report.listPart)
        .flag("listAdded", report.listAdded)
        .number("recordsRemoved", report.recordsRemoved)
        .flag("unchanged", report.unchanged)
        .json("citedTagsMissing", stringsJson(report.citedTagsMissing))
        .text("citationsUnchecked", report.citationsUnchecked)
        .done();
}

} // namespace

std::string resultJson(const ConversionResult &result)
{
    std::vector<std::string> inputs;
    for (const InputReport &input : result.inputs) {
        inputs.push_back(inputJson(input));
    }
    return JsonObject()
        .text("error", result.error)
        .json("document", documentJson(result.document))
        .json("inputs", jsonArray(inputs))
        .json("merge", mergeJson(result.merge))
        .done();
}

} // namespace bibsources
