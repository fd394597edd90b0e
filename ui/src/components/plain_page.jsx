import { Logo } from './logo.jsx';

// A page shown outside the console, before or without the component library:
// plain markup under the brand.
export function PlainPage({ children }) {
  return (
    <main className="not-found">
      <div className="not-found-brand">
        <Logo size={36} />
        <span>Tallowmere</span>
      </div>
      {children}
    </main>
  );
}
