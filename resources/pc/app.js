(function () {
  'use strict';
  const bridge = window.nativeBridge;
  // The simulated cloud serves any device id; this page offers a fixed set.
  const devices = [
    { id: 10001, name: '云手机 1' },
    { id: 10002, name: '云手机 2' },
    { id: 10003, name: '云手机 3' },
    { id: 10004, name: '云手机 4' },
  ];
  const user = { uid: 'local-user', token: 'local-token' };
  // Previews come from the client's loopback server, on the port it saved.
  let serverOrigin = location.protocol === 'http:' ? location.origin : 'http://localhost:9988';

  const list = document.getElementById('devices');
  const notice = document.getElementById('notice');
  const syncStatus = document.getElementById('sync-status');
  const selected = new Set();

  function showNotice(text, isError) {
    notice.textContent = text;
    notice.classList.toggle('error', Boolean(isError));
    notice.hidden = false;
  }

  function deviceById(id) {
    return devices.find(function (device) { return device.id === id; });
  }

  function render() {
    list.replaceChildren();
    devices.forEach(function (device) {
      const item = document.createElement('li');
      item.className = 'device';
      item.dataset.id = String(device.id);

      const preview = document.createElement('div');
      preview.className = 'preview';
      const image = document.createElement('img');
      image.alt = '';
      image.hidden = true;
      const placeholder = document.createElement('span');
      placeholder.textContent = '暂无预览';
      preview.append(image, placeholder);

      const title = document.createElement('label');
      title.className = 'title';
      const check = document.createElement('input');
      check.type = 'checkbox';
      check.checked = selected.has(device.id);
      check.addEventListener('change', function () {
        if (check.checked) { selected.add(device.id); } else { selected.delete(device.id); }
        updateButtons();
      });
      const name = document.createElement('span');
      name.textContent = device.name;
      const id = document.createElement('span');
      id.className = 'muted';
      id.textContent = 'ID ' + device.id;
      title.append(check, name, id);

      const open = document.createElement('button');
      open.textContent = '打开';
      open.addEventListener('click', function () {
        bridge.post('cloudphone-open', { deviceId: device.id, devicename: device.name });
      });

      item.append(preview, title, open);
      list.append(item);
    });
    updateButtons();
  }

  function updateButtons() {
    const none = selected.size === 0;
    ['open-selected', 'preview-selected', 'close-selected'].forEach(function (id) {
      document.getElementById(id).disabled = none;
    });
    document.getElementById('select-all').checked = selected.size === devices.length;
  }

  function selectedDevices() {
    return devices.filter(function (device) { return selected.has(device.id); });
  }

  function requestPreviews(ids) {
    bridge.post('batch-request-preview', {
      quality: 80,
      deviceArr: ids.map(function (id) { return { deviceId: id }; }),
    });
  }

  document.getElementById('select-all').addEventListener('change', function (event) {
    selected.clear();
    if (event.target.checked) {
      devices.forEach(function (device) { selected.add(device.id); });
    }
    render();
  });
  document.getElementById('open-selected').addEventListener('click', function () {
    bridge.post('more-cloudphone-open', {
      deviceArr: selectedDevices().map(function (device) {
        return { deviceid: device.id, devicename: device.name };
      }),
    });
  });
  document.getElementById('preview-selected').addEventListener('click', function () {
    requestPreviews(selectedDevices().map(function (device) { return device.id; }));
  });
  document.getElementById('close-selected').addEventListener('click', function () {
    bridge.post('close-select-cloudphone', { deviceArr: Array.from(selected) });
  });
  document.getElementById('close-all').addEventListener('click', function () {
    bridge.post('close-all-cloudphone', {});
  });

  bridge.on('batch-response-preview', function (data) {
    const device = data && deviceById(data.deviceId);
    if (!device) {
      return;
    }
    const item = list.querySelector('[data-id="' + device.id + '"]');
    const image = item.querySelector('img');
    const rotation = Number(data.rotation) || 0;
    image.style.transform = rotation ? 'rotate(' + -rotation + 'deg)' : '';
    image.src = serverOrigin + '/screenshot?deviceId=' + device.id + '&t=' + Date.now();
    image.hidden = false;
    item.querySelector('.preview span').hidden = true;
  });
  bridge.on('batch-control-status', function (data) {
    const texts = { 0: '同步已暂停', 1: '同步中', 2: '' };
    const text = texts[data && data.status] || '';
    syncStatus.textContent = text;
    syncStatus.hidden = text === '';
  });
  bridge.on('response-token-auth-fail', function (data) {
    const ids = Array.isArray(data) ? data.join(', ') : '';
    showNotice('设备 ' + ids + ' 鉴权失败，请重新登录后再试', true);
  });
  bridge.on('notify-open-new-cloudphone', function (data) {
    const index = devices.findIndex(function (device) { return device.id === data.deviceId; });
    if (index < 0) {
      return;
    }
    const step = data.type === 'open-prev-cloudphone' ? -1 : 1;
    const next = devices[(index + step + devices.length) % devices.length];
    bridge.post('cloudphone-open-at-exist', {
      oldDeviceId: data.deviceId, deviceId: next.id, devicename: next.name,
    });
  });

  render();
  document.getElementById('account').textContent = '本地用户';
  bridge.post('add-cloundphone', {
    userInfo: user,
    deviceArr: devices.map(function (device) { return { deviceid: device.id }; }),
  });
  if (location.protocol !== 'http:') {
    bridge.getSetting('screenshotHttpPort').then(function (port) {
      if (/^[0-9]{1,5}$/.test(port)) {
        serverOrigin = 'http://localhost:' + port;
      }
    });
  }
  bridge.getSetting('frontend-sys-locale').then(function (locale) {
    document.documentElement.lang = locale || 'zh-CN';
  });
  // The devices need a moment to register before a snapshot can be taken.
  setTimeout(function () {
    requestPreviews(devices.map(function (device) { return device.id; }));
  }, 1500);
})();
