// SPDX-License-Identifier: MIT
// Starts the report's viewer from the module texts inlined in this page: each becomes a Blob URL, an
// import map lets the viewer and OrbitControls import 'three' by name, and nothing is fetched.
(function () {
  'use strict';

  function fail(error) {
    document.body.dataset.ready = 'error';
    var status = document.getElementById('status');
    if (status) status.textContent = 'The 3D view failed to start';
    var box = document.getElementById('viewer-error');
    if (box) {
      box.hidden = false;
      box.textContent = 'The 3D view failed to start: ' + (error && error.message ? error.message : String(error));
    }
    console.error('meshprobe report:', error);
  }

  function source(id) {
    var element = document.getElementById(id);
    if (!element || !element.textContent) throw new Error('the page lacks its script "' + id + '"');
    return element.textContent;
  }

  function moduleUrl(text) {
    return URL.createObjectURL(new Blob([text], { type: 'text/javascript' }));
  }

  // Any error after start-up (a frame, a click) also marks the page as broken, for the tests to see.
  window.addEventListener('error', function (event) { fail(event.error || event.message); });
  window.addEventListener('unhandledrejection', function (event) { fail(event.reason); });

  try {
    var core = moduleUrl(source('three-core'));
    // three.module.js imports its core by relative path, which a Blob URL cannot resolve: point it at
    // the core's Blob URL instead.
    var moduleText = source('three-module');
    var coreImport = "'./three.core.js'";
    if (moduleText.indexOf(coreImport) < 0) throw new Error('three.module.js does not import ' + coreImport);
    var three = moduleUrl(moduleText.split(coreImport).join(JSON.stringify(core)));
    var map = document.createElement('script');
    map.type = 'importmap';
    map.textContent = JSON.stringify({
      imports: {
        'three': three,
        'three/addons/controls/OrbitControls.js': moduleUrl(source('three-orbit-controls')),
      },
    });
    document.head.appendChild(map);
    import(moduleUrl(source('report-viewer')))
      .then(function (viewer) { return viewer.start(); })
      .catch(fail);
  } catch (error) {
    fail(error);
  }
})();
