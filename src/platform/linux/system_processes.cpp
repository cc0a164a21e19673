// The Linux system-process table. /usr/bin and /bin are not in it: they hold
// python3, node, ruby and java, and listing them would protect every dev server.
// Nor is /usr/lib as a whole, which holds /usr/lib/jvm and /usr/lib/node_modules.
#include "platform/system_processes.h"

namespace glimmet::platform {

SystemProcessList systemProcessList() {
  return {
      .pathPrefixes = {"/sbin/", "/usr/sbin/", "/usr/lib/systemd/", "/lib/systemd/",
                       "/usr/libexec/", "/usr/lib/xorg/", "/usr/lib/polkit-1/", "/usr/lib/udisks2/",
                       "/usr/lib/upower/", "/usr/lib/bluetooth/", "/usr/lib/dbus-1.0/",
                       "/usr/lib/NetworkManager/", "/usr/lib/accountsservice/", "/usr/lib/snapd/",
                       "/snap/snapd/"},
      .names = {"systemd",
                "(sd-pam)",
                "init",
                "dbus-daemon",
                "dbus-broker",
                "dbus-broker-launch",
                "sshd",
                "Xorg",
                "Xwayland",
                "gnome-shell",
                "gnome-session-binary",
                "mutter",
                "kwin_wayland",
                "kwin_x11",
                "plasmashell",
                "ksmserver",
                "pipewire",
                "pipewire-pulse",
                "wireplumber",
                "pulseaudio",
                "gdm",
                "gdm-wayland-session",
                "gdm-x-session",
                "sddm",
                "lightdm",
                "polkitd",
                "NetworkManager",
                "wpa_supplicant",
                "gnome-keyring-daemon",
                "ssh-agent",
                "gpg-agent",
                "at-spi-bus-launcher",
                "at-spi2-registryd",
                "xdg-desktop-portal",
                "xdg-desktop-portal-gnome",
                "xdg-desktop-portal-kde",
                "xdg-desktop-portal-gtk",
                "xdg-document-portal",
                "xdg-permission-store",
                "gvfsd"},
      .namePrefixes = {"systemd-"},
  };
}

}  // namespace glimmet::platform
