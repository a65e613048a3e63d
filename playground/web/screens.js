// FloatTiles Playground: the screen presets. The server names the screens
// (/api/config's screenPresets) and restarts the phone on the one chosen;
// the page then loads again, since the phone's shape is taken at its start.
'use strict';

(function () {
  const select = document.querySelector('#screen-preset');
  if (!select) return;

  async function start() {
    let config;
    try {
      config = await (await fetch('/api/config')).json();
    } catch (e) {
      return;
    }
    const presets = config.screenPresets || [];
    const { width, height } = config.screen;
    for (const p of presets) {
      const option = document.createElement('option');
      option.value = p.name;
      option.textContent = p.label;
      option.selected = p.width === width && p.height === height;
      select.append(option);
    }
    if (!presets.some((p) => p.width === width && p.height === height)) {
      const other = document.createElement('option');
      other.textContent = `${width}x${height}`;
      other.selected = true;
      other.disabled = true;
      select.prepend(other);
    }
    select.hidden = false;
  }

  select.addEventListener('change', async () => {
    select.disabled = true;
    let result;
    try {
      const response = await fetch('/api/action', {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify({ type: 'screen', preset: select.value }),
      });
      result = await response.json();
    } catch (e) {
      result = { ok: false, error: 'the playground server cannot be reached' };
    }
    if (result.ok) {
      location.reload();
      return;
    }
    select.disabled = false;
    select.title = result.error || 'that did not work';
  });

  start();
})();
