import logoUrl from '../assets/logo.svg';

// The logo travels inside the script (Vite inlines so small a file), so the
// console shows it without a request of its own.
export function Logo({ size }) {
  return <img src={logoUrl} alt="" width={size} height={size} />;
}
