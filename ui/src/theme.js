export const theme = {
  token: {
    colorPrimary: '#0e7c86',
    colorLink: '#0e7c86',
    borderRadius: 8,
    fontFamily: "system-ui, -apple-system, 'Segoe UI', Roboto, 'Helvetica Neue', Arial, sans-serif",
  },
  components: {
    Layout: { siderBg: '#0f2a3d', triggerBg: '#0b2233', bodyBg: '#f2f5f8' },
    Menu: { darkItemBg: '#0f2a3d', darkSubMenuItemBg: '#0f2a3d', darkItemSelectedBg: '#0e7c86' },
  },
};
