// Word documents for the page's tests, made here: the smallest package the
// word processor opens, with its own source list or without, and the ones
// the command refuses. Zipped with the page's own zip package (fflate),
// whose streaming writer also writes two members of one name.

import { writeFile } from "node:fs/promises";
import { Zip, ZipDeflate } from "../../web/node_modules/fflate/esm/index.mjs";

const declaration = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n';
const wordMain = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const relationshipType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
const officeDocument = `${relationshipType}officeDocument`;
const strictOfficeDocument = "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
const mainContentType = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
const propertiesType = "application/vnd.openxmlformats-officedocument.customXmlProperties+xml";

const relationships = (links) =>
    `${declaration}<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">${links}</Relationships>`;
const link = (id, type, target) => `<Relationship Id="${id}" Type="${type}" Target="${target}"/>`;

// [name, text] in order: content types, package relationships, the main
// part and its relationships, styles, then `more`.
function wordDocument({ packageType = officeDocument, mainLinks = "", types = "", more = [], body = "<w:p><w:r><w:t>Hello</w:t></w:r></w:p>" } = {}) {
    return [
        ["[Content_Types].xml", `${declaration}<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">`
            + '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            + '<Default Extension="xml" ContentType="application/xml"/>'
            + `<Override PartName="/word/document.xml" ContentType="${mainContentType}"/>${types}</Types>`],
        ["_rels/.rels", relationships(link("rId1", packageType, "word/document.xml"))],
        ["word/document.xml", `${declaration}<w:document xmlns:w="${wordMain}"><w:body>${body}</w:body></w:document>`],
        ["word/_rels/document.xml.rels", relationships(link("rId1", `${relationshipType}styles`, "styles.xml") + mainLinks)],
        ["word/styles.xml", `${declaration}<w:styles xmlns:w="${wordMain}"/>`],
        ...more,
    ];
}

// A document whose source list, custom XML item 1, is `list` (text or bytes).
export function documentWithList(list, shape = {}) {
    return wordDocument({
        ...shape,
        mainLinks: link("rId7", `${relationshipType}customXml`, "../customXml/item1.xml"),
        types: `<Override PartName="/customXml/itemProps1.xml" ContentType="${propertiesType}"/>`,
        more: [
            ["customXml/item1.xml", list],
            ["customXml/itemProps1.xml", `${declaration}<ds:datastoreItem ds:itemID="{6E1A5B9C-0000-4000-8000-000000000001}" `
                + 'xmlns:ds="http://schemas.openxmlformats.org/officeDocument/2006/customXml"><ds:schemaRefs/></ds:datastoreItem>'],
            ["customXml/_rels/item1.xml.rels", relationships(link("rId1", `${relationshipType}customXmlProps`, "itemProps1.xml"))],
            ...(shape.more ?? []),
        ],
    });
}

// A paragraph citing each tag, as the word processor writes a citation field.
export function citing(...tags) {
    const run = (text) => `<w:r><w:instrText xml:space="preserve">${text}</w:instrText></w:r>`;
    return tags.map((tag) => '<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r>'
        + `${run(` CITATION ${tag} \\l 1033 `)}<w:r><w:fldChar w:fldCharType="separate"/></w:r>`
        + '<w:r><w:t>(x)</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>').join("");
}

// The document without a list of its own.
export function plainDocument(shape = {}) {
    return wordDocument(shape);
}

export function packageBytes(members) {
    const chunks = [];
    const zip = new Zip((error, chunk) => {
        if (error) {
            throw error;
        }
        chunks.push(chunk);
    });
    for (const [name, content] of members) {
        const member = new ZipDeflate(name, { level: 6 });
        zip.add(member);
        member.push(typeof content === "string" ? new TextEncoder().encode(content) : content, true);
    }
    zip.end();
    return Buffer.concat(chunks);
}

export async function writeDocument(path, members) {
    await writeFile(path, packageBytes(members));
}

// What the command refuses, by file name, each as the bytes of the file:
// not a zip package; a password-protected document (a compound file); a
// signed one; a Strict one; one without a list; one whose list would
// unpack to more than the command reads (70 MB of blanks in 70 kB); one
// with two members of one name.
export function refusedDocuments(list) {
    const compoundFile = Buffer.concat([Buffer.from([0xd0, 0xcf, 0x11, 0xe0, 0xa1, 0xb1, 0x1a, 0xe1]), Buffer.alloc(504)]);
    const signature = ["_xmlsignatures/sig1.xml", "<Signature/>"];
    return {
        "text.docx": Buffer.from("This is a letter, saved as text.\n"),
        "locked.docx": compoundFile,
        "signed.docx": packageBytes(documentWithList(list, { more: [signature] })),
        "strict.docx": packageBytes(wordDocument({ packageType: strictOfficeDocument })),
        "no list.docx": packageBytes(wordDocument()),
        "bomb.docx": packageBytes(documentWithList(Buffer.alloc(70 << 20, 0x20))),
        "twice.docx": packageBytes([...documentWithList(list), ["word/styles.xml", "<again/>"]]),
    };
}
