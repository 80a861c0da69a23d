// The picture area's pictures, as in the window: idle, the hover animation
// (seven frames, 70 ms apart, the frame counter going on from one hover to
// the next), loaded, converting, and for two seconds converted or failed.
// Converting and converted are the page's own versions of the window's: the
// window saves beside the input, the page offers the file as a download.

const frameCount = 7;
const frameInterval = 70;
const finishedShown = 2000;

export class Picture {
    constructor(image, area) {
        this.image = image;
        this.area = area;
        this.frame = 0;
        this.animation = null;
        this.finishedTimer = null;
        this.state = "idle";
    }

    show(name) {
        this.image.src = `images/${name}.png`;
    }

    // The pictures are what the area shows; its state is said in words too.
    setState(state, name, words) {
        this.state = state;
        this.area.dataset.state = state;
        this.area.setAttribute("aria-label", words);
        this.show(name);
    }

    startHover() {
        if (this.animation !== null) {
            return;
        }
        this.animation = setInterval(() => {
            this.show(`backdrop_on_${this.frame}`);
            this.frame = (this.frame + 1) % frameCount;
        }, frameInterval);
    }

    stopHover() {
        clearInterval(this.animation);
        this.animation = null;
    }

    idle() {
        this.stopHover();
        this.setState("idle", "backdrop_normal", "Drop .bib files here, or press Enter to choose them");
    }

    // doing: what Convert will do with them, "convert" or "merge".
    loaded(names, doing = "convert") {
        this.stopHover();
        this.setState("loaded", "backdrop_load", `${names} ready to ${doing}`);
    }

    // words: what is being done, "Converting refs.bib".
    converting(words) {
        this.stopHover();
        clearTimeout(this.finishedTimer);
        this.setState("converting", "backdrop_converting_page", words);
    }

    converted(words) {
        this.finished("converted", "backdrop_converted_page", words);
    }

    failed(words) {
        this.finished("failed", "backdrop_failed", words);
    }

    finished(state, name, words) {
        this.setState(state, name, words);
        clearTimeout(this.finishedTimer);
        this.finishedTimer = setTimeout(() => {
            if (this.state === state) {
                this.idle();
            }
        }, finishedShown);
    }
}
