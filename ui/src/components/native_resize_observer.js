// Stands in for the resize-observer-polyfill package that antd's components
// import: every browser the console supports has ResizeObserver, and the
// polyfill would add about 10 KB to the bundle for none of them.
export default globalThis.ResizeObserver;
