// The test page's own record, kept alike in every browser engine (WebKit's driver
// passes on no console): the console's lines, the page's errors, and the pictures
// presented to the canvas, counting those that are only a copy with nothing drawn
// since the last (WebKit shows such a frame black).
'use strict';
window.lumetraLog = [];
window.lumetraErrors = [];
for (const level of ['log', 'info', 'warn', 'error']) {
  const original = console[level].bind(console);
  console[level] = (...args) => {
    lumetraLog.push(args.join(' '));
    original(...args);
  };
}
// The program's own exit reaches the page as ExitStatus, which the page handles.
const isExit = (error) => error && error.name === 'ExitStatus';
window.addEventListener('error', (event) => {
  if (!isExit(event.error)) lumetraErrors.push(String(event.error && event.error.stack || event.message));
});
window.addEventListener('unhandledrejection', (event) => {
  if (!isExit(event.reason)) lumetraErrors.push('unhandled rejection: ' + String(event.reason && event.reason.stack || event.reason));
});

window.lumetraPresents = {presented: 0, copyOnly: 0};
{
  const gl = WebGL2RenderingContext.prototype;
  let drawn = false;
  for (const name of ['drawArrays', 'drawElements', 'clear']) {
    const call = gl[name];
    gl[name] = function (...args) {
      drawn = true;
      return call.apply(this, args);
    };
  }
  const blit = gl.blitFramebuffer;
  gl.blitFramebuffer = function (...args) {
    if (this.getParameter(this.DRAW_FRAMEBUFFER_BINDING) === null) {
      ++lumetraPresents.presented;
      if (!drawn) ++lumetraPresents.copyOnly;
      drawn = false;
    }
    return blit.apply(this, args);
  };
}
