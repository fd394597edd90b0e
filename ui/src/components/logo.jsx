import { useEffect } from 'react';
import logoUrl from '../assets/logo.svg';

// The logo travels inside the script (Vite inlines so small a file), so the
// pages show it without a request of their own.
export function Logo({ size }) {
  return <img src={logoUrl} alt="" width={size} height={size} />;
}

// Chromium asks for the page's icon again after every change of address
// while its reply may not be cached; pointed at the inlined logo, it asks
// nobody.
export function useLogoAsIcon() {
  useEffect(() => {
    const link = document.querySelector('link[rel="icon"]');
    if (link) link.href = logoUrl;
  }, []);
}
