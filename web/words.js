// What the page says, in the window's words.

const numbers = new Intl.NumberFormat();

export function counted(count, one, many) {
    return `${numbers.format(count)} ${count === 1 ? one : many}`;
}

// "refs.bib", "refs.bib and more.bib", "3 files".
export function namesOf(files) {
    if (files.length === 1) {
        return files[0].name;
    }
    if (files.length === 2) {
        return `${files[0].name} and ${files[1].name}`;
    }
    return `${numbers.format(files.length)} files`;
}

// " · 2 entries skipped" after a summary, or nothing when none was.
function skippedText(result) {
    const skipped = result.inputs.reduce((sum, input) => sum + input.entriesSkipped, 0);
    return skipped > 0 ? ` · ${counted(skipped, "entry", "entries")} skipped` : "";
}

// What a merge did with the list's sources: "3 sources kept, 1 replaced, 2 added".
function mergeCounts({ recordsKept, recordsReplaced, recordsAdded }) {
    return `${counted(recordsKept, "source", "sources")} kept, `
        + `${numbers.format(recordsReplaced)} replaced, ${numbers.format(recordsAdded)} added`;
}

// The summary line of a run that wrote its document, named `target`.
export function summaryOf(result, target = "Sources.xml") {
    const written = result.inputs.reduce((sum, input) => sum + input.recordsWritten, 0);
    return `${counted(written, "source", "sources")} written to ${target}${skippedText(result)}`;
}

// The summary line of a run that merged into the source list named
// `listName`, in the command's words.
export function mergeSummaryOf(result, listName) {
    return `Merged into ${listName}: ${mergeCounts(result.merge)}${skippedText(result)}`;
}

export function progressText(fraction, entriesRead) {
    return `${Math.floor(fraction * 100)}% read · ${counted(entriesRead, "entry", "entries")}`;
}

// What became of a document's own source list, in the command's words: the
// summary, where the list went, and each tag the document cites that the
// list lacks.
export function documentSummaryOf(result, name) {
    const report = result.document;
    if (report.unchanged) {
        return `${name} already holds these sources; nothing was changed`;
    }
    const lines = [summaryOf(result, name)];
    if (result.merge.merged) {
        lines.push(`merged into ${name}: ${mergeCounts(result.merge)}`);
    }
    if (report.listAdded) {
        lines.push(`source list added as ${report.listPart}`);
    } else {
        const held = report.recordsRemoved > 0
            ? ` in place of the ${counted(report.recordsRemoved, "source", "sources")} it held` : "";
        lines.push(`source list ${report.listPart} written${held}`);
    }
    for (const tag of report.citedTagsMissing) {
        lines.push(`it cites '${tag}', which its source list lacks; the word processor shows an error there until a source with that tag is added`);
    }
    if (report.citationsUnchecked !== "") {
        lines.push(`its citations were not checked against its source list: ${report.citationsUnchecked}`);
    }
    return lines.join(" · ");
}
