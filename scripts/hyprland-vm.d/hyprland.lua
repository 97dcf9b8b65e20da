-- A plain grey desktop, us and ru layouts, and the pointer drawn into the
-- frame itself, so that QEMU's screendump shows it.
hl.monitor({ output = "", mode = "1024x768@60", position = "0x0", scale = 1 })
hl.config({
  misc = { disable_hyprland_logo = true, force_default_wallpaper = 0, background_color = "rgb(808080)", disable_splash_rendering = true },
  animations = { enabled = false },
  decoration = { blur = { enabled = false }, shadow = { enabled = false } },
  input = { kb_layout = "us,ru" },
  cursor = { no_hardware_cursors = true },
})
