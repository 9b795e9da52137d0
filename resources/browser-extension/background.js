// Keyrovia companion extension.
//
// Keeps one native messaging connection to the keyrovia-companion host and
// tells it the scheme and host ("https://www.site.com") of the active tab of
// the window that had the focus last: all Keyrovia uses to find the login.
// Path, query, fragment, credentials and title never leave the browser side.
// The host keeps only the latest page and hands it to Keyrovia over a local
// socket; nothing leaves this computer.
//
// It also plays the browser's part for Keyrovia's toolbar button: the host
// reads the buttons that Keyrovia registered, and the extension's toolbar
// action shows the first of them; a click asks the host to start its program.
//
// The same file serves Chromium/Chrome (service worker) and Firefox
// (background script).

'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST_NAME = 'com.keyrovia.companion';
// The host bounds it again; a host name is far shorter anyway.
const MAX_ADDRESS_CHARS = 8192;
const RETRY_FIRST_MS = 1000;
const RETRY_LONGEST_MS = 60000;
// A connection that stayed up this long was a good one: retry fast again.
const HEALTHY_AFTER_MS = 10000;

let port = null;
let retryMs = RETRY_FIRST_MS;
let retryTimer = null;
let connectedAt = 0;

function connect() {
  if (port !== null || retryTimer !== null) {
    return;
  }
  let p;
  try {
    p = api.runtime.connectNative(HOST_NAME);
  } catch (e) {
    scheduleRetry();
    return;
  }
  port = p;
  connectedAt = Date.now();
  p.onMessage.addListener(onHostMessage);
  p.onDisconnect.addListener(() => {
    // Reading lastError marks it as handled (Chromium logs it otherwise).
    void (api.runtime.lastError || p.error);
    if (port === p) {
      port = null;
    }
    if (Date.now() - connectedAt >= HEALTHY_AFTER_MS) {
      retryMs = RETRY_FIRST_MS;
    }
    scheduleRetry();
    resendLaunch();
    if (!hostAnswered) {
      showNoHost();
    }
  });
}

function scheduleRetry() {
  if (retryTimer !== null) {
    return;
  }
  const delay = retryMs;
  retryMs = Math.min(retryMs * 2, RETRY_LONGEST_MS);
  retryTimer = setTimeout(() => {
    retryTimer = null;
    // A new host starts empty: tell it the page at once.
    report();
    askButtons();
  }, delay);
}

// "scheme://host[:port]" of an address, or the scheme alone ("about:") for
// one without a host; empty when it is no address. URL.host never holds the
// user:password@ part.
function schemeAndHost(address) {
  try {
    const url = new URL(address);
    return url.host !== '' ? `${url.protocol}//${url.host}` : url.protocol;
  } catch (e) {
    return ''; // not an absolute address (or an empty one)
  }
}

function pageMessage(tab) {
  return { url: tab ? schemeAndHost(tab.url ?? '').slice(0, MAX_ADDRESS_CHARS) : '' };
}

async function activeTab() {
  const tabs = await api.tabs.query({ active: true, lastFocusedWindow: true });
  return tabs.length > 0 ? tabs[0] : null;
}

async function report() {
  connect();
  if (port === null) {
    return;
  }
  let tab = null;
  try {
    tab = await activeTab();
  } catch (e) {
    return;
  }
  if (port === null) {
    return;
  }
  try {
    port.postMessage(pageMessage(tab));
  } catch (e) {
    // The port went away in between; onDisconnect schedules the retry.
  }
}

api.tabs.onActivated.addListener(() => {
  report();
});

api.tabs.onUpdated.addListener((tabId, changeInfo, tab) => {
  if (!tab.active) {
    return;
  }
  // A new title is no news: only the scheme and host are told.
  if (changeInfo.url !== undefined || changeInfo.status === 'complete') {
    report();
  }
});

api.tabs.onRemoved.addListener(() => {
  report();
});

api.windows.onFocusChanged.addListener((windowId) => {
  // Focus leaving the browser (to Keyrovia, say) keeps the last page.
  if (windowId !== api.windows.WINDOW_ID_NONE) {
    report();
  }
});

api.windows.onRemoved.addListener(() => {
  report();
});

api.runtime.onStartup.addListener(() => {
  report();
});

api.runtime.onInstalled.addListener(() => {
  report();
});

report();

// ---- The toolbar button ----------------------------------------------------

const NO_HOST_TITLE =
  'Keyrovia : le programme compagnon ne répond pas ; lancez ' +
  '« keyrovia-companion --install » depuis le dossier de Keyrovia.';
const NOT_REGISTERED_TITLE =
  "Le bouton Keyrovia n'est pas enregistré : cochez « Afficher » dans " +
  "l'onglet Configuration de Keyrovia, puis cliquez sur « Appliquer ».";
// Keyrovia's "Appliquer" shows here within this time and a second.
const BUTTONS_EVERY_MS = 1000;
// The host refuses faster clicks as well; these never even reach it.
const CLICK_GAP_MS = 1000;

let shownKey = null;
let shownTitle = null;
let shownIcon = null;
let lastClickAt = -Infinity;
// Whether any host has told the buttons since the extension started.
let hostAnswered = false;
// A click the host has not answered yet: a host that goes away first (it is
// being restarted) gets it again from its successor.
let pendingLaunch = null;
const PENDING_LAUNCH_MS = 5000;

function post(message, again = true) {
  connect();
  if (port === null) {
    return false;
  }
  try {
    port.postMessage(message);
    return true;
  } catch (e) {
    // The host went away before its port told us: once more with a new one.
    port = null;
    return again && post(message, false);
  }
}

function askButtons() {
  post({ type: 'buttons' });
}

function ignore() {}

function showNoButton() {
  shownKey = null;
  shownIcon = null;
  if (shownTitle !== NOT_REGISTERED_TITLE) {
    shownTitle = NOT_REGISTERED_TITLE;
    api.action.setTitle({ title: NOT_REGISTERED_TITLE }).catch(ignore);
  }
  api.action.disable().catch(ignore);
}

function showNoHost() {
  shownKey = null;
  shownTitle = NO_HOST_TITLE;
  api.action.setTitle({ title: NO_HOST_TITLE }).catch(ignore);
  api.action.disable().catch(ignore);
}

function iconImage(icon) {
  if (!icon || typeof icon.rgba !== 'string' || !Number.isInteger(icon.size)) {
    return null;
  }
  try {
    const raw = atob(icon.rgba);
    if (raw.length !== icon.size * icon.size * 4) {
      return null;
    }
    const bytes = new Uint8ClampedArray(raw.length);
    for (let i = 0; i < raw.length; ++i) {
      bytes[i] = raw.charCodeAt(i);
    }
    return new ImageData(bytes, icon.size, icon.size);
  } catch (e) {
    return null;
  }
}

function showButton(button) {
  shownKey = button.key;
  const title = typeof button.title === 'string' ? button.title : '';
  if (title !== shownTitle) {
    shownTitle = title;
    api.action.setTitle({ title }).catch(ignore);
  }
  const icon = button.icon ? button.icon.rgba : null;
  if (icon !== shownIcon) {
    shownIcon = icon;
    const image = iconImage(button.icon);
    if (image !== null) {
      api.action.setIcon({ imageData: { [image.width]: image } }).catch(ignore);
    }
  }
  api.action.enable().catch(ignore);
}

function onHostMessage(message) {
  if (!message || typeof message !== 'object') {
    return;
  }
  if (message.type === 'buttons' && Array.isArray(message.buttons)) {
    hostAnswered = true;
    const first = message.buttons.find((b) => b && typeof b.key === 'string');
    if (first) {
      showButton(first);
    } else {
      showNoButton();
    }
  } else if (message.type === 'launch') {
    pendingLaunch = null;
  }
  if (message.type === 'launch' && message.started !== true) {
    // The button may have gone meanwhile: show what the layer holds now.
    askButtons();
  }
}

// The action's click. Nothing of the page goes to the host: only the key of
// the button shown, which the host looks up in the layer again.
function onActionClicked() {
  const now = Date.now();
  if (shownKey === null || now - lastClickAt < CLICK_GAP_MS) {
    return;
  }
  lastClickAt = now;
  pendingLaunch = { key: shownKey, at: now };
  sendLaunch();
}

function sendLaunch() {
  if (port === null && retryTimer !== null) {
    // The host is being restarted: try at once rather than at the next retry,
    // and tell the new host the page as the retry would have.
    clearTimeout(retryTimer);
    retryTimer = null;
    report();
  }
  post({ type: 'launch', key: pendingLaunch.key });
}

function resendLaunch() {
  if (pendingLaunch === null || Date.now() - pendingLaunch.at > PENDING_LAUNCH_MS) {
    pendingLaunch = null;
    return;
  }
  sendLaunch();
}

api.action.onClicked.addListener(onActionClicked);
setInterval(askButtons, BUTTONS_EVERY_MS);
showNoButton();
askButtons();
