// FloatTiles Playground: the page. It shows the phone's screen as the
// server sends it, turns pointer input on the screen into touches, and
// offers the settings pane, the choice of apps and the rest of the phone.
// Everything it changes goes through one ordered queue of requests. Each
// part of the page is a module of its own, handed what it needs.
import { $ } from './dom.js';
import { createView } from './view.js';
import { createRequests } from './requests.js';
import { createHold } from './held.js';
import { createPicture } from './picture.js';
import { createTouch } from './touch.js';
import { createPasscode } from './passcode.js';
import { createTopbar } from './topbar.js';
import { createSettingsPane } from './settings-pane.js';
import { createAppsPane } from './apps-pane.js';
import { createDevicePane } from './device-pane.js';
import { createFilesPane } from './files-pane.js';
import { createTracePane } from './trace-pane.js';
import { createRecordTab } from './record.js';
import { createPlainWords } from './plain.js';
import { learnLooks } from './icons.js';

const view = createView();
const requests = createRequests(view);
const screen = $('#screen');
const held = createHold($('#phone'), $('#phone-holder'), screen, $('#orientation-chip'));
const topbar = createTopbar(view, requests.send, held);

// What tests and tools read of the page: the latest dump and facts, the
// page position of a screen point, the page's measures of itself. Nothing
// in the page reads it.
window.playground = view;
view.clientPoint = (x, y) => held.clientPoint(x, y, view.config.screen);
view.createPlainWords = createPlainWords;

// The panes and the plain-words trace follow the dump, but a drag or an
// animation changes it at every frame, and rebuilding them that often
// would take the frames the screen needs: they follow at most five
// times a second, and always with the latest dump.
let panesTimer = 0;
let panesShown = 0;
function panesLater() {
  if (panesTimer || !view.dump) return;
  const wait = Math.max(0, panesShown + 200 - performance.now());
  panesTimer = setTimeout(() => {
    panesTimer = 0;
    panesShown = performance.now();
    view.emit('panes');
  }, wait);
}
view.on('panes', () => held.hold(view.dump.host.orientation));

function apply(frame, picture, trace) {
  if (frame.meta) {
    view.meta = frame.meta;
    view.emit('meta', frame.meta);
  }
  if (frame.svg) picture.show(frame.svg);
  else if (frame.svgPatch) picture.patch(frame.svgPatch);
  if (frame.dump) {
    view.dump = frame.dump;
    learnLooks(frame.dump.host && frame.dump.host.apps);
  }
  if (frame.meta || frame.dump) panesLater();
  if (frame.trace) trace.append(frame.trace);
  if (!view.ready && view.dump && view.meta) view.ready = true;
}

function connect(picture, trace) {
  const events = new EventSource('/api/events');
  events.onopen = () => {
    topbar.setConnection(true);
    trace.restart();
  };
  events.onmessage = (e) => apply(JSON.parse(e.data), picture, trace);
  events.onerror = () => {
    topbar.setConnection(false);
    // The browser retries a stream that broke, but not one the server
    // turned away (it keeps only so many open at once): ask again.
    if (events.readyState === EventSource.CLOSED) setTimeout(() => connect(picture, trace), 1000 + Math.random() * 1000);
  };
}

async function start() {
  try {
    view.config = await (await fetch('/api/config')).json();
  } catch (e) {
    topbar.setConnection(false);
    setTimeout(start, 1000);
    return;
  }
  const { width, height } = view.config.screen;
  screen.style.aspectRatio = `${width} / ${height}`;
  const picture = createPicture(view, $('#screen-svg'));
  createTouch({ view, requests, picture, held, screen });
  createPasscode(view, requests.send);
  createSettingsPane(view, requests);
  createAppsPane(view, requests, topbar.respring);
  createDevicePane(view, requests);
  createFilesPane(view, requests);
  const trace = createTracePane(view);
  createRecordTab(view, requests.send, held);
  connect(picture, trace);
}
start();
