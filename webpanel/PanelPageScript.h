// The script put into every document of the panel's page: executeCmd(cmd,
// args...) sends its arguments as a JSON array through the engine's binding
// (which takes one string), and title changes are reported the same way.
#pragma once

constexpr char kPanelBindingName[] = "__tqPanelSend";

constexpr char kPanelPageScript[] = R"JS((function () {
  var send = window.__tqPanelSend;
  if (typeof send !== 'function' || window.__tqPanelReady) return;
  window.__tqPanelReady = true;
  window.executeCmd = function () {
    send(JSON.stringify({ name: 'executeCmd', args: Array.prototype.slice.call(arguments) }));
  };
  var lastTitle = null;
  function reportTitle() {
    if (document.title !== lastTitle) {
      lastTitle = document.title;
      send(JSON.stringify({ title: lastTitle }));
    }
  }
  new MutationObserver(reportTitle).observe(document, { subtree: true, childList: true, characterData: true });
  document.addEventListener('DOMContentLoaded', reportTitle);
  reportTitle();
})();)JS";
