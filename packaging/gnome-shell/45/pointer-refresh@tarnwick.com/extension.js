/* Tarnwick Pointer Refresh, for GNOME Shell 48.
 *
 * When the cursor theme changes, mutter throws away the images it loaded for
 * every cursor, but it only loads them again when something makes it place
 * the cursor anew, which in practice means the pointer moving. A pointer
 * resting over a window, or over the top bar, keeps showing the old theme.
 *
 * Giving mutter a motion that goes nowhere is enough for it to load the new
 * images. It comes from a virtual pointer of our own, so the window under the
 * pointer sees one motion at the spot it already had, no leave and no enter,
 * and no click can land on anything of ours. The crossing that GNOME 43
 * needed (a one-pixel actor under the pointer) does nothing over the top bar
 * here, and the window under the pointer sees it. */
import Clutter from 'gi://Clutter';
import GLib from 'gi://GLib';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class PointerRefreshExtension extends Extension {
    enable() {
        this._tracker = global.backend.get_cursor_tracker();
        const seat = Clutter.get_default_backend().get_default_seat();
        this._pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        // Listening to mutter rather than to GSettings: mutter reads the new
        // theme in its own time, and a nudge that comes before it has would
        // load the old theme's images once more.
        this._prefsId = this._tracker.connect('cursor-prefs-changed', () => this._nudgeSoon());
        this._idleId = 0;
    }

    disable() {
        if (this._idleId)
            GLib.source_remove(this._idleId);
        this._idleId = 0;
        this._tracker.disconnect(this._prefsId);
        this._tracker = null;
        this._pointer = null;
    }

    _nudgeSoon() {
        // mutter's cursors drop their images in handlers of the same signal;
        // ours has to run after all of them. A theme and a size changed
        // together need only one nudge.
        if (this._idleId)
            return;
        this._idleId = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            this._idleId = 0;
            this._nudge();
            return GLib.SOURCE_REMOVE;
        });
    }

    _nudge() {
        // A hidden pointer gets its images loaded when it shows again.
        if (!this._tracker.get_pointer_visible())
            return;
        // Relative, and by nothing: the pointer may sit between pixels, and
        // sending it back to the whole pixel the shell reports would move it.
        this._pointer.notify_relative_motion(GLib.get_monotonic_time(), 0, 0);
    }
}
