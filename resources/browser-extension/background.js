// Keyrovia companion extension.
//
// Keeps one native messaging connection to the keyrovia-companion host and
// tells it the address and title of the active tab of the window that had the
// focus last. The host keeps only the latest page and hands it to Keyrovia
// over a local socket; nothing leaves this computer.
//
// The same file serves Chromium/Chrome (service worker) and Firefox
// (background script).

'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST_NAME = 'com.keyrovia.companion';
// The host bounds these again; keeping the frames small here saves it work.
const MAX_ADDRESS_CHARS = 8192;
const MAX_TITLE_CHARS = 1024;
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
  }, delay);
}

// Credentials in an address (user:password@host) never leave the browser.
function withoutCredentials(address) {
  try {
    const url = new URL(address);
    if (url.username !== '' || url.password !== '') {
      url.username = '';
      url.password = '';
      return url.href;
    }
  } catch (e) {
    // Not an absolute address (or an empty one): nothing to strip.
  }
  return address;
}

function pageMessage(tab, titleOnly) {
  if (!tab) {
    return { url: '', title: '' };
  }
  const url = withoutCredentials(tab.url ?? '').slice(0, MAX_ADDRESS_CHARS);
  const title = (tab.title ?? '').slice(0, MAX_TITLE_CHARS);
  // A page that renames itself is no sign of the user: the host keeps the
  // time of the last real report for choosing between browsers.
  return titleOnly ? { url, title, titleOnly: true } : { url, title };
}

async function activeTab() {
  const tabs = await api.tabs.query({ active: true, lastFocusedWindow: true });
  return tabs.length > 0 ? tabs[0] : null;
}

async function report(titleOnly = false) {
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
    port.postMessage(pageMessage(tab, titleOnly));
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
  if (changeInfo.url !== undefined || changeInfo.status === 'complete') {
    report();
  } else if (changeInfo.title !== undefined) {
    // Titles often arrive after the load has completed.
    report(true);
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
