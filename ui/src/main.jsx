import React from 'react';
import { createRoot } from 'react-dom/client';
import { BrowserRouter } from 'react-router-dom';
import { loadToken } from './session/auth_storage.js';
import { ConsoleApp } from './console_app.jsx';
import { startForwarderPageReads, startOverviewReads } from './api/procedures.js';
import './console.css';

// A reload of the forwarder page or the overview asks for its values now, so
// that they travel while the console's script is read and drawn rather than
// after.
const storedToken = loadToken();
if (storedToken && /^\/ui\/?$/.test(window.location.pathname)) startForwarderPageReads(storedToken);
if (storedToken && /^\/ui\/overview\/?$/.test(window.location.pathname)) startOverviewReads(storedToken);

createRoot(document.getElementById('root')).render(
  <React.StrictMode>
    <BrowserRouter basename="/ui">
      <ConsoleApp />
    </BrowserRouter>
  </React.StrictMode>,
);
