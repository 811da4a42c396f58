// The page side of the native bridge: posts go to the "nativeHandler" script handler, native
// messages arrive as JSON text through window.receiveNativeMessage.
(function () {
  'use strict';
  const listeners = new Map();
  let nextRequest = 1;

  function post(type, data, macrequestid) {
    const message = { type: type, data: data === undefined ? {} : data };
    if (macrequestid !== undefined) {
      message.macrequestid = macrequestid;
    }
    const handlers = window.webkit && window.webkit.messageHandlers;
    if (!handlers || !handlers.nativeHandler) {
      console.warn('[Page] native bridge unavailable, dropped ' + type);
      return false;
    }
    handlers.nativeHandler.postMessage(JSON.stringify(message));
    return true;
  }

  function on(type, listener) {
    if (!listeners.has(type)) {
      listeners.set(type, []);
    }
    listeners.get(type).push(listener);
  }

  // "get" is answered with "response-mac-get" carrying our request id inside data.
  function getSetting(key) {
    return new Promise(function (resolve) {
      const requestid = 'get-' + nextRequest++;
      on('response-mac-get', function handler(data) {
        if (data && data.requestid === requestid) {
          resolve(typeof data.value === 'string' ? data.value : '');
          return true;
        }
        return false;
      });
      post('get', { key: key, requestid: requestid });
    });
  }

  window.receiveNativeMessage = function (text) {
    let message;
    try {
      message = JSON.parse(text);
    } catch (error) {
      console.warn('[Page] unreadable native message', error);
      return;
    }
    let data = message.data;
    // Replies to requests with an id carry their value as JSON text inside "data".
    if (typeof data === 'string' && message.macrequestid !== undefined) {
      try { data = JSON.parse(data).data; } catch (error) { /* keep the text */ }
    }
    const current = listeners.get(message.type) || [];
    // A listener answering true has served its one request and is dropped.
    listeners.set(message.type, current.filter(function (listener) {
      return listener(data, message) !== true;
    }));
  };

  window.nativeBridge = { post: post, on: on, getSetting: getSetting };
})();
