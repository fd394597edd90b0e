import React from 'react';
import { createRoot } from 'react-dom/client';
import { createBrowserRouter, RouterProvider } from 'react-router-dom';
import { loadToken } from './session/auth_storage.js';
import { consoleRoutes } from './console_app.jsx';
import { startForwarderPageReads, startOverviewReads } from './api/procedures.js';
import './console.css';

// A reload of the forwarder page or the overview asks for its values now, so
// that they travel while the console's script is read and drawn rather than
// after.
const storedToken = loadToken();
if (storedToken && /^\/ui\/?$/.test(window.location.pathname)) startForwarderPageReads(storedToken);
if (storedToken && /^\/ui\/overview\/?$/.test(window.location.pathname)) startOverviewReads(storedToken);

// A data router, because only it can hold a step of the browser's history
// (Back, Forward) while unsaved edits wait for an answer.
const router = createBrowserRouter(consoleRoutes, { basename: '/ui' });

createRoot(document.getElementById('root')).render(
  <React.StrictMode>
    <RouterProvider router={router} />
  </React.StrictMode>,
);
