import React from 'react';
import { createRoot } from 'react-dom/client';
import { BrowserRouter } from 'react-router-dom';
import { ConsoleApp } from './console_app.jsx';
import './console.css';

createRoot(document.getElementById('root')).render(
  <React.StrictMode>
    <BrowserRouter basename="/ui">
      <ConsoleApp />
    </BrowserRouter>
  </React.StrictMode>,
);
