#include "pipeline.h"

#include "document.h"

namespace bibsources {

namespace {

// An input that held entries but gave not one record is, as far as the
// parser could tell, not BibTeX (another encoding, random bytes); so is one
// of text without a single entry (prose, a binary file). Its empty document
// would replace a good one with nothing, so the input counts as unreadable.
// A file that is empty, or holds only comments, still gives the empty
// document.
// Returns whether one was refused.
bool refuseUnreadableInputs(std::vector<InputReport> &inputs)
{
    bool refused = false;
    for (InputReport &input : inputs) {
        if (input.ok() && input.recordsWritten == 0 && input.entriesSkipped > 0) {
            input.error = inputName(input.inputPath) + ": no entry could be read ("
                + std::to_string(input.entriesSkipped) + " skipped)";
            refused = true;
        } else if (input.ok() && input.textWithoutEntriesLine > 0) {
            input.error = inputName(input.inputPath)
                + ": not BibTeX: no entry in it, only other text (from line "
                + std::to_string(input.textWithoutEntriesLine) + ")";
            refused = true;
        }
    }
    return refused;
}

// The first input's failure, or empty.
std::string firstError(const std::vector<InputReport> &inputs)
{
    for (const InputReport &input : inputs) {
        if (!input.ok()) {
            return input.error;
        }
    }
    return {};
}

} // namespace

ConversionResult runConversion(const std::vector<std::string> &inputPaths, RecordTarget &target,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    ConversionResult result = target.open();
    if (!result.ok()) {
        result.inputs = unreadInputs(inputPaths);
        return result;
    }
    const ConversionSettings mapping = target.mappingSettings(settings);
    result.inputs = writeDocument(
        inputPaths, mapping, hooks, [&target](std::string_view text) { target.append(text); },
        target.tagsTaken());
    const bool refused = refuseUnreadableInputs(result.inputs);
    result.stopped = hooks.stop.stop_requested();
    result.error = firstError(result.inputs);
    if (refused) {
        result = target.refused(std::move(result));
    }
    if (result.ok()) {
        result.error = target.appendError();
    }
    if (!result.ok() || result.stopped) {
        return result;
    }
    if (hooks.beforeOutput) {
        hooks.beforeOutput();
    }
    return target.commit(std::move(result));
}

} // namespace bibsources
