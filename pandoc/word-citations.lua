--[[
word-citations.lua: a pandoc Lua filter that writes citations as the word
processor's own citation fields when pandoc writes a .docx.

    pandoc paper.md --bibliography refs.bib \
        --lua-filter /usr/share/bibsources/word-citations.lua -o paper.docx
    bibsources --tidy --merge -o paper.docx refs.bib

Every citation becomes a citation content control around a CITATION field that
names its sources by their tags (the BibTeX keys, which bibsources writes as
the tags of the document's source list), and the div with the id "refs" (or
the end of the document) becomes the bibliography control around a
BIBLIOGRAPHY field. The word processor formats both in the style the reader
picks and updates them; the text written here is what shows until then.

--bibliography (or `references` in the metadata) is optional: with it the
shown text has authors and years, without it the tags. --citeproc is not
needed. Other output formats are left untouched.

A key that holds a double quote or a backslash cannot be written as a field's
source tag the word processor would find; the filter stops with a message
naming it rather than write a field that names no source.
]]

if FORMAT ~= 'docx' then
    return {}
end

local stringify = pandoc.utils.stringify

-- Windows locale ids for the `lang` metadata; the field's \l switch decides
-- the words the style uses ("p.", "et al.", "and"). Others get US English.
local localeIds = {
    ['en'] = 1033, ['en-US'] = 1033, ['en-GB'] = 2057, ['en-AU'] = 3081, ['en-CA'] = 4105,
    ['de'] = 1031, ['de-DE'] = 1031, ['de-AT'] = 3079, ['de-CH'] = 2055,
    ['fr'] = 1036, ['fr-FR'] = 1036, ['fr-CA'] = 3084,
    ['es'] = 3082, ['es-ES'] = 3082, ['es-MX'] = 2058,
    ['it'] = 1040, ['it-IT'] = 1040, ['nl'] = 1043, ['nl-NL'] = 1043,
    ['pt'] = 2070, ['pt-PT'] = 2070, ['pt-BR'] = 1046,
    ['ru'] = 1049, ['ru-RU'] = 1049, ['pl'] = 1045, ['pl-PL'] = 1045,
    ['sv'] = 1053, ['sv-SE'] = 1053, ['da'] = 1030, ['da-DK'] = 1030,
    ['nb'] = 1044, ['nb-NO'] = 1044, ['fi'] = 1035, ['fi-FI'] = 1035,
    ['cs'] = 1029, ['cs-CZ'] = 1029, ['tr'] = 1055, ['tr-TR'] = 1055,
    ['ja'] = 1041, ['ja-JP'] = 1041, ['zh-CN'] = 2052, ['zh-TW'] = 1028,
}

-- What one run learns about the document before the citations are written.
local run = {
    localeId = 1033,
    references = {}, -- by key, as pandoc.utils.references gives them
    haveReferences = false,
    cited = {}, -- keys in the order of their first citation
    citedOnce = {},
    nextControlId = 1,
    bibliographyPlaced = false,
    sectionTitle = nil,
}

local function controlId()
    local id = run.nextControlId
    run.nextControlId = id + 1
    return id
end

local function xmlText(text)
    return (text:gsub('[&<>]', { ['&'] = '&amp;', ['<'] = '&lt;', ['>'] = '&gt;' }))
end

-- A field argument in double quotes; inside them a backslash escapes a quote
-- or a backslash.
local function quotedArgument(text)
    return '"' .. text:gsub('[\\"]', '\\%0') .. '"'
end

local function argument(text)
    if text:find('[%s\\"]') then
        return quotedArgument(text)
    end
    return text
end

-- A source tag as the field's argument. Tags are matched as written, so one
-- with spaces is quoted; one with a quote or backslash would be read back
-- with those characters changed and is refused.
local function tagArgument(key)
    if key:find('[\\"]') then
        error('word-citations.lua: the citation key "' .. key .. '" holds a double quote or a backslash, '
            .. 'which a citation field cannot name as a source; rename the key in the text and the .bib file', 0)
    end
    if key:find('%s') then
        return '"' .. key .. '"'
    end
    return key
end

local function trim(text)
    return (text:gsub('^%s+', ''):gsub('%s+$', ''))
end

-- pandoc keeps non-breaking spaces from "p.~12" and the smart extension; the
-- locator rules read them as spaces.
local function plainSpaces(text)
    return (text:gsub('\u{00A0}', ' '))
end

-- One page at `at`: a number, or where a page label came first also a
-- roman numeral. Returns where it ends.
local function pageEnd(text, at, labelled)
    local _, stop = text:find('^%d+', at)
    if not stop and labelled then
        _, stop = text:find('^[ivxlcdmIVXLCDM]+%f[%A]', at)
    end
    return stop
end

-- The longest page value at the start of text: a page, a range or a list
-- ("12", "3–5", "3--5", "12, 15", "xii"). Returns the value and the rest, or
-- nil.
local function pageValue(text, labelled)
    local stop = pageEnd(text, 1, labelled)
    if not stop then
        return nil
    end
    while true do
        local nextStop
        for _, separator in ipairs({ '%-+', '\u{2013}', ',' }) do
            local _, separatorEnd = text:find('^%s*' .. separator .. '%s*', stop + 1)
            nextStop = separatorEnd and pageEnd(text, separatorEnd + 1, labelled)
            if nextStop then
                break
            end
        end
        if not nextStop then
            return text:sub(1, stop), text:sub(stop + 1)
        end
        stop = nextStop
    end
end

local pageLabels = { 'pp%.', 'p%.', 'pages', 'page' }

-- Splits a citation's suffix into its page locator (without label) and the
-- rest. A bare number counts as pages, as in pandoc's own citations.
local function splitLocator(suffix)
    local text = trim(plainSpaces(suffix))
    local separator = text:match('^,%s*') or ''
    local body = text:sub(#separator + 1)
    for _, label in ipairs(pageLabels) do
        local labelled = body:match('^' .. label .. '%s*(.*)$')
        if labelled then
            local pages, rest = pageValue(labelled, true)
            if pages then
                return pages, rest
            end
        end
    end
    local pages, rest = pageValue(body, false)
    if pages and (rest == '' or rest:find('^[%s,;]')) then
        return pages, rest
    end
    return nil, text
end

-- The suffix the word processor shows after the source, separated as the
-- author wrote it, or with ", " where nothing separates it.
local function suffixText(rest)
    if trim(rest) == '' then
        return nil
    end
    if rest:find('^[%s,;:.]') then
        return rest
    end
    return ', ' .. rest
end

local function prefixText(prefix)
    local text = trim(plainSpaces(stringify(prefix)))
    if text == '' then
        return nil
    end
    return text .. ' '
end

-- One source of a citation: its tag and what the field's switches say about it.
local function describe(citation)
    local pages, rest = splitLocator(stringify(citation.suffix))
    return {
        key = citation.id,
        prefix = prefixText(citation.prefix),
        pages = pages,
        suffix = suffixText(rest),
        noAuthor = citation.mode == 'SuppressAuthor',
    }
end

local function sourceSwitches(source)
    local switches = {}
    if source.pages then
        table.insert(switches, '\\p ' .. argument(source.pages))
    end
    if source.prefix then
        table.insert(switches, '\\f ' .. quotedArgument(source.prefix))
    end
    if source.suffix then
        table.insert(switches, '\\s ' .. quotedArgument(source.suffix))
    end
    if source.noAuthor then
        table.insert(switches, '\\n')
    end
    return switches
end

-- " CITATION first [its switches] \l 1033 \m second [its switches] ..."; the
-- spaces at both ends are part of what the word processor itself writes.
local function citationInstruction(sources)
    local parts = { 'CITATION', tagArgument(sources[1].key) }
    for _, switch in ipairs(sourceSwitches(sources[1])) do
        table.insert(parts, switch)
    end
    table.insert(parts, '\\l ' .. run.localeId)
    for i = 2, #sources do
        table.insert(parts, '\\m ' .. tagArgument(sources[i].key))
        for _, switch in ipairs(sourceSwitches(sources[i])) do
            table.insert(parts, switch)
        end
    end
    return ' ' .. table.concat(parts, ' ') .. ' '
end

-- Family names as the default author-date styles show them: one, two joined
-- by `joiner`, or the first with "et al.". Nil when the reference has none.
local function authorNames(reference, joiner)
    local people = reference and (reference.author or reference.editor)
    if not people or #people == 0 then
        return nil
    end
    local function name(person)
        return stringify(person.family or person.literal or person)
    end
    if #people == 1 then
        return name(people[1])
    elseif #people == 2 then
        return name(people[1]) .. joiner .. name(people[2])
    end
    return name(people[1]) .. ' et al.'
end

local function year(reference)
    local issued = reference and reference.issued
    local parts = issued and issued['date-parts']
    if parts and parts[1] and parts[1][1] then
        return tostring(parts[1][1])
    end
    return nil
end

-- The text a source shows inside the brackets until the field is updated.
local function shownSource(source)
    local reference = run.references[source.key]
    local authors = not source.noAuthor and authorNames(reference, ' & ') or nil
    local when = year(reference)
    local text
    if authors and when then
        text = authors .. ', ' .. when
    elseif reference and (when or source.noAuthor) then
        text = when or 'n.d.'
    else
        text = source.key
    end
    if source.pages then
        text = text .. (source.pages:find('%d%D+%d') and ', pp. ' or ', p. ') .. source.pages
    end
    return (source.prefix or '') .. text .. (source.suffix or '')
end

local function shownCitation(sources)
    local shown = {}
    for _, source in ipairs(sources) do
        table.insert(shown, shownSource(source))
    end
    return '(' .. table.concat(shown, '; ') .. ')'
end

local function fieldRuns(instruction, shownText)
    return '<w:r><w:fldChar w:fldCharType="begin"/></w:r>'
        .. '<w:r><w:instrText xml:space="preserve">' .. xmlText(instruction) .. '</w:instrText></w:r>'
        .. '<w:r><w:fldChar w:fldCharType="separate"/></w:r>'
        .. '<w:r><w:rPr><w:noProof/></w:rPr><w:t xml:space="preserve">' .. xmlText(shownText) .. '</w:t></w:r>'
        .. '<w:r><w:fldChar w:fldCharType="end"/></w:r>'
end

-- The content control the word processor recognises as a citation: its id
-- comes before the citation mark, as the schema's sequence has it.
local function citationControl(sources)
    return '<w:sdt><w:sdtPr><w:id w:val="' .. controlId() .. '"/><w:citation/></w:sdtPr><w:sdtContent>'
        .. fieldRuns(citationInstruction(sources), shownCitation(sources))
        .. '</w:sdtContent></w:sdt>'
end

local function noteCited(key)
    if not run.citedOnce[key] then
        run.citedOnce[key] = true
        table.insert(run.cited, key)
    end
    if run.haveReferences and not run.references[key] then
        io.stderr:write('word-citations.lua: "' .. key .. '" is cited but not in the bibliography; '
            .. 'its field shows an error until the document\'s source list has it\n')
    end
end

-- A citation field cannot show the author in the running text, so a
-- narrative citation ("@knuth84 says") becomes the author's names as plain
-- text and a field without the author: "Knuth and Lamport (1984)". Without
-- the names from a bibliography it stays a whole citation.
local function citeToField(cite)
    local sources = {}
    for _, citation in ipairs(cite.citations) do
        noteCited(citation.id)
        table.insert(sources, describe(citation))
    end
    local inlines = {}
    if cite.citations[1].mode == 'AuthorInText' then
        local names = authorNames(run.references[sources[1].key], ' and ')
        if names then
            sources[1].noAuthor = true
            inlines = { pandoc.Str(names), pandoc.Space() }
        end
    end
    table.insert(inlines, pandoc.RawInline('openxml', citationControl(sources)))
    return inlines
end

local function learnDocument(doc)
    local lang = doc.meta.lang and stringify(doc.meta.lang):gsub('^(%a+)%-(%a+)', function(language, region)
        return language:lower() .. '-' .. region:upper()
    end)
    if lang then
        run.localeId = localeIds[lang] or localeIds[lang:match('^(%a+)')] or 1033
    end
    if doc.meta['reference-section-title'] then
        run.sectionTitle = doc.meta['reference-section-title']
    end
    local ok, references = pcall(pandoc.utils.references, doc)
    if ok and references then
        for _, reference in ipairs(references) do
            run.references[reference.id] = reference
            run.haveReferences = true
        end
    end
end

-- One cached bibliography line per cited source, until the field is updated.
local function bibliographyLine(key)
    local reference = run.references[key]
    if not reference then
        return key
    end
    local parts = { authorNames(reference, ' & ') or '', ' (' .. (year(reference) or 'n.d.') .. ').' }
    if reference.title then
        table.insert(parts, ' ' .. stringify(reference.title) .. '.')
    end
    return trim(table.concat(parts))
end

local function bibliographyParagraph(first, text, last)
    return '<w:p><w:pPr><w:pStyle w:val="Bibliography"/></w:pPr>'
        .. (first and '<w:r><w:fldChar w:fldCharType="begin"/></w:r>'
            .. '<w:r><w:instrText xml:space="preserve"> BIBLIOGRAPHY </w:instrText></w:r>'
            .. '<w:r><w:fldChar w:fldCharType="separate"/></w:r>' or '')
        .. '<w:r><w:rPr><w:noProof/></w:rPr><w:t xml:space="preserve">' .. xmlText(text) .. '</w:t></w:r>'
        .. (last and '<w:r><w:fldChar w:fldCharType="end"/></w:r>' or '')
        .. '</w:p>'
end

-- The gallery control the word processor puts a bibliography in, holding
-- the bibliography control with the field; the field runs from its first
-- paragraph to its last.
local function bibliographyBlock()
    local lines = {}
    for _, key in ipairs(run.cited) do
        table.insert(lines, bibliographyLine(key))
    end
    if #lines == 0 then
        lines = { 'There are no sources in the current document.' }
    end
    local paragraphs = {}
    for i, line in ipairs(lines) do
        table.insert(paragraphs, bibliographyParagraph(i == 1, line, i == #lines))
    end
    run.bibliographyPlaced = true
    return pandoc.RawBlock('openxml',
        '<w:sdt><w:sdtPr><w:id w:val="' .. controlId() .. '"/><w:docPartObj>'
        .. '<w:docPartGallery w:val="Bibliographies"/><w:docPartUnique/></w:docPartObj></w:sdtPr><w:sdtContent>'
        .. '<w:sdt><w:sdtPr><w:id w:val="' .. controlId() .. '"/><w:bibliography/></w:sdtPr><w:sdtContent>'
        .. table.concat(paragraphs)
        .. '</w:sdtContent></w:sdt></w:sdtContent></w:sdt>')
end

local function placeInRefs(div)
    if div.identifier ~= 'refs' or run.bibliographyPlaced then
        return nil
    end
    return bibliographyBlock()
end

local function placeAtEnd(doc)
    if run.bibliographyPlaced then
        return nil
    end
    if run.sectionTitle then
        doc.blocks:insert(pandoc.Header(1, stringify(run.sectionTitle)))
    end
    doc.blocks:insert(bibliographyBlock())
    return doc
end

return {
    { Pandoc = learnDocument },
    { Cite = citeToField },
    { Div = placeInRefs, Pandoc = placeAtEnd },
}
