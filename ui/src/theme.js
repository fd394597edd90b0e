// Secondary text and the red of danger buttons and errors are darkened from
// Ant Design's defaults, which read at about 3.3:1 on white, and a hovered
// primary button darkens instead of lightening: all meet WCAG AA's 4.5:1. A
// field's warning (antd's #faad14, 1.8:1), under it and in its addon, is
// written in a dark gold, 6.9:1.
const fieldWarning = '#874d00';

export const theme = {
  token: {
    colorPrimary: '#0e7c86',
    colorPrimaryHover: '#0b6870',
    colorPrimaryActive: '#09565d',
    colorLink: '#0e7c86',
    colorTextDescription: 'rgba(0, 0, 0, 0.62)',
    colorTextTertiary: 'rgba(0, 0, 0, 0.62)',
    colorError: '#c8161d',
    borderRadius: 8,
    fontFamily: "system-ui, -apple-system, 'Segoe UI', Roboto, 'Helvetica Neue', Arial, sans-serif",
  },
  components: {
    Layout: { siderBg: '#0f2a3d', triggerBg: '#0b2233', bodyBg: '#f2f5f8' },
    Menu: { darkItemBg: '#0f2a3d', darkSubMenuItemBg: '#0f2a3d', darkItemSelectedBg: '#0e7c86' },
    Form: { colorWarning: fieldWarning },
    Input: { colorWarningText: fieldWarning },
  },
};
