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

// The summary line of a run that wrote its document, named `target`.
export function summaryOf(result, target = "Sources.xml") {
    const written = result.inputs.reduce((sum, input) => sum + input.recordsWritten, 0);
    const skipped = result.inputs.reduce((sum, input) => sum + input.entriesSkipped, 0);
    let summary = `${counted(written, "source", "sources")} written to ${target}`;
    if (skipped > 0) {
        summary += ` · ${counted(skipped, "entry", "entries")} skipped`;
    }
    return summary;
}

// The summary line of a run that merged into the source list named
// `listName`, in the command's words.
export function mergeSummaryOf(result, listName) {
    const { recordsKept, recordsReplaced, recordsAdded } = result.merge;
    const skipped = result.inputs.reduce((sum, input) => sum + input.entriesSkipped, 0);
    let summary = `Merged into ${listName}: ${counted(recordsKept, "source", "sources")} kept, `
        + `${numbers.format(recordsReplaced)} replaced, ${numbers.format(recordsAdded)} added`;
    if (skipped > 0) {
        summary += ` · ${counted(skipped, "entry", "entries")} skipped`;
    }
    return summary;
}

export function progressText(fraction, entriesRead) {
    return `${Math.floor(fraction * 100)}% read · ${counted(entriesRead, "entry", "entries")}`;
}
