// The extension's side of a native messaging conversation, for the browser
// tests. The test drives it through the functions on `window.nativeTest`
// (page.evaluate); every wait is bounded by the caller's timeout.
"use strict";

const HOST_NAME = "com.ombrelin.revozad.agent";

function token() {
  const bytes = crypto.getRandomValues(new Uint8Array(16));
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
}

// One port to the host: what it received, in order, and how it ended.
class Connection {
  constructor() {
    this.events = [];
    this.wakeUp = null;
    this.port = chrome.runtime.connectNative(HOST_NAME);
    this.port.onMessage.addListener((message) => this.push({ message }));
    this.port.onDisconnect.addListener(() => {
      const error = chrome.runtime.lastError;
      this.push({ disconnected: { error: error ? error.message : null } });
    });
  }

  push(event) {
    this.events.push(event);
    if (this.wakeUp) {
      this.wakeUp();
    }
  }

  // The next message or the disconnection, or { timeout: true }.
  async next(timeoutMs) {
    const deadline = Date.now() + timeoutMs;
    while (this.events.length === 0) {
      const left = deadline - Date.now();
      if (left <= 0) {
        return { timeout: true };
      }
      await new Promise((resolve) => {
        const timer = setTimeout(resolve, left);
        this.wakeUp = () => {
          clearTimeout(timer);
          resolve();
        };
      });
      this.wakeUp = null;
    }
    return this.events.shift();
  }
}

let connection = null;
let agentChallenge = null;

async function expectMessage(timeoutMs) {
  const event = await connection.next(timeoutMs);
  if (!event.message) {
    throw new Error("expected a message, got " + JSON.stringify(event));
  }
  return event.message;
}

window.nativeTest = {
  extensionId() {
    return chrome.runtime.id;
  },

  open() {
    connection = new Connection();
    agentChallenge = null;
    return true;
  },

  post(message) {
    connection.port.postMessage(message);
    return true;
  },

  next(timeoutMs) {
    return connection.next(timeoutMs);
  },

  close() {
    connection.port.disconnect();
    return true;
  },

  // hello, hello-ack, challenge-ack, ready; returns all four for the test to check.
  async handshake(trustedWebOrigin, timeoutMs) {
    const hello = {
      v: 1,
      type: "hello",
      requestId: token(),
      extensionOrigin: "chrome-extension://" + chrome.runtime.id,
      trustedWebOrigin,
      extensionChallenge: token(),
    };
    connection.port.postMessage(hello);
    const helloAck = await expectMessage(timeoutMs);
    const challengeAck = {
      v: 1,
      type: "challenge-ack",
      requestId: hello.requestId,
      agentChallenge: helloAck.agentChallenge,
    };
    connection.port.postMessage(challengeAck);
    const ready = await expectMessage(timeoutMs);
    agentChallenge = helloAck.agentChallenge;
    return { hello, helloAck, challengeAck, ready };
  },

  // One command after the handshake; returns the request id and the response.
  async command(command, timeoutMs) {
    const requestId = token();
    connection.port.postMessage({ v: 1, type: "command", requestId, agentChallenge, command });
    return { requestId, response: await expectMessage(timeoutMs) };
  },
};
