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

// The test hooks read the picture last drawn between frames, after the browser has
// shown it: the canvas keeps its drawing buffer for them (the published page does not).
{
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    if (type === 'webgl2') attributes = {...attributes, preserveDrawingBuffer: true};
    return getContext.call(this, type, attributes);
  };
}

// A picture is presented by a turn of the page that draws into, clears or copies into
// the canvas's own framebuffer; it is a copy alone when nothing was drawn anywhere
// since the last.
window.lumetraPresents = {presented: 0, copyOnly: 0};
{
  const gl = WebGL2RenderingContext.prototype;
  let drawn = false;     // drawn or cleared anywhere since the last present
  let toCanvas = true;   // the draw framebuffer is the canvas's
  let touched = false;   // the canvas changed in this turn
  let copied = false;    // ... by a copy
  const present = () => {
    ++lumetraPresents.presented;
    if (copied && !drawn) ++lumetraPresents.copyOnly;
    drawn = touched = copied = false;
  };
  const touch = () => {
    if (!touched) queueMicrotask(present);  // once the page's turn is over
    touched = true;
  };
  const bind = gl.bindFramebuffer;
  gl.bindFramebuffer = function (target, framebuffer) {
    if (target !== this.READ_FRAMEBUFFER) toCanvas = framebuffer === null;
    return bind.call(this, target, framebuffer);
  };
  for (const name of ['drawArrays', 'drawElements', 'clear']) {
    const call = gl[name];
    gl[name] = function (...args) {
      drawn = true;
      if (toCanvas) touch();
      return call.apply(this, args);
    };
  }
  const blit = gl.blitFramebuffer;
  gl.blitFramebuffer = function (...args) {
    if (toCanvas) {
      touch();
      copied = true;
    }
    return blit.apply(this, args);
  };
}
