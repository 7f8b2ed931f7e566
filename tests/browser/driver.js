// Runs Chromium for the browser tests and carries out the test's requests.
//
//   node driver.js SETTINGS.json
//
// SETTINGS names the browser, a fresh user data directory and the unpacked
// extensions to load. Once the browser runs, the driver prints one JSON line
// {"ready": true, "version": ...}; then it reads one JSON request per line on
// standard input and answers each with one JSON line on standard output:
//
//   {"id": 1, "op": "open", "extensionId": "..."}  -> {"id": 1, "result": <page number>}
//   {"id": 2, "op": "call", "page": 0, "fn": "handshake", "args": [...]}
//                                                   -> {"id": 2, "result": <value>}
//   {"id": 3, "op": "closePage", "page": 0}         -> {"id": 3, "result": true}
//
// A failed request answers {"id": n, "error": "..."}. The end of standard input
// closes the browser and ends the driver.
"use strict";

const fs = require("fs");
const readline = require("readline");
const { chromium } = require("playwright-core");

function reply(document) {
  process.stdout.write(JSON.stringify(document) + "\n");
}

async function launch(settings) {
  const extensions = settings.extensions.join(",");
  return chromium.launchPersistentContext(settings.userDataDir, {
    executablePath: settings.executablePath,
    // Headless through the switch below: the new headless mode, the one that
    // loads extensions.
    headless: false,
    // Playwright turns extensions off by default.
    ignoreDefaultArgs: ["--disable-extensions"],
    args: [
      "--headless=new",
      "--no-sandbox",
      "--disable-gpu",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-quic",
      "--no-first-run",
      `--disable-extensions-except=${extensions}`,
      `--load-extension=${extensions}`,
    ],
    timeout: settings.launchTimeoutMs,
  });
}

async function main() {
  const settings = JSON.parse(fs.readFileSync(process.argv[2], "utf8"));
  const context = await launch(settings);
  const pages = [];

  const handlers = {
    async open(request) {
      const page = await context.newPage();
      await page.goto(`chrome-extension://${request.extensionId}/page.html`, {
        timeout: settings.requestTimeoutMs,
      });
      pages.push(page);
      return pages.length - 1;
    },
    async call(request) {
      return pages[request.page].evaluate(
        ([fn, args]) => window.nativeTest[fn](...args),
        [request.fn, request.args || []],
      );
    },
    async closePage(request) {
      await pages[request.page].close();
      return true;
    },
  };

  const browser = context.browser();
  reply({ ready: true, version: browser ? browser.version() : null });

  const input = readline.createInterface({ input: process.stdin });
  for await (const line of input) {
    if (!line.trim()) {
      continue;
    }
    const request = JSON.parse(line);
    try {
      const handler = handlers[request.op];
      if (!handler) {
        throw new Error(`unknown request ${request.op}`);
      }
      reply({ id: request.id, result: await handler(request) });
    } catch (error) {
      reply({ id: request.id, error: String(error && error.stack ? error.stack : error) });
    }
  }
  await context.close();
}

main().then(
  () => process.exit(0),
  (error) => {
    reply({ ready: false, error: String(error && error.stack ? error.stack : error) });
    process.exit(1);
  },
);
