// Waits that end: each gives up after a while with an error that says what
// did not happen and how the page stood then, so a page that stops
// answering fails its test with a cause instead of holding the run.

// How the page stands: its status line, picture, buttons and converter.
export async function pageState(page) {
    let shown;
    try {
        shown = await page.evaluate(() => {
            const element = (id) => document.getElementById(id);
            return `page status: "${element("status").textContent}"${element("status").hidden ? " (hidden)" : ""}; `
                + `picture: ${element("drop-area").dataset.state}; `
                + `Convert ${element("convert-button").disabled ? "disabled" : "enabled"}; `
                + `busy: ${element("busy").hidden ? "no" : `"${element("busy-label").textContent}" `
                    + `${element("progress-text").textContent}`}`;
        });
    } catch (error) {
        shown = `the page did not answer (${error.message})`;
    }
    const workers = page.workers().length;
    return `${shown}; worker: ${workers === 0 ? "none running" : `${workers} running`}`;
}

// `promise`, or after `seconds` an error: "<what> <seconds> s <after>;
// <describe()>".
export function within(seconds, what, promise, describe = async () => "") {
    let timer;
    const expired = new Promise((_, reject) => {
        timer = setTimeout(() => {
            const fail = (state) => reject(new Error(`${what} (waited ${seconds} s)${state ? `; ${state}` : ""}`));
            describe().then(fail, (error) => fail(`could not see why: ${error.message}`));
        }, seconds * 1000);
        // A wait given up on by its test keeps nothing running.
        timer.unref();
    });
    return Promise.race([promise, expired]).finally(() => clearTimeout(timer));
}
