/* Tarnwick Pointer Refresh: after each change of the cursor theme, the
 * window under a resting pointer takes its cursor from the new theme.
 *
 * A Wayland client sets its cursor when the pointer enters it, and the shell
 * shows what it set last, so a change of theme alone never reaches a pointer
 * that rests over a window. A one-pixel actor placed under the pointer until
 * the shell has picked it is such an entry: the window sees the pointer leave
 * and come back. It takes no grab, so keyboard focus stays where it is. */
const { Clutter, Gio, GLib } = imports.gi;

// A cover the shell has not picked within this many frames goes anyway.
const FRAMES_TO_WAIT = 4;
// How long windows are given to take a new theme in.
const SETTLE_MILLISECONDS = 40;

class PointerRefresh {
    enable() {
        this._settings = new Gio.Settings({ schema_id: 'org.gnome.desktop.interface' });
        // Windows hear of the change through their own main loops: one that
        // sees the pointer come back before it has taken the change in sets
        // the old theme's cursor again.
        this._changedId = this._settings.connect('changed::cursor-theme', () => this._crossSoon());
    }

    disable() {
        this._settings.disconnect(this._changedId);
        this._settings = null;
        if (this._soonId)
            GLib.source_remove(this._soonId);
        this._soonId = 0;
        this._uncover();
    }

    _crossSoon() {
        if (this._soonId)
            return;
        this._soonId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, SETTLE_MILLISECONDS, () => {
            this._soonId = 0;
            this._crossUnderPointer();
            return GLib.SOURCE_REMOVE;
        });
    }

    _crossUnderPointer() {
        // A change during a crossing needs one more: the window may have
        // come back to the older theme.
        if (this._cover) {
            this._again = true;
            return;
        }
        const [x, y] = global.get_pointer();
        this._cover = new Clutter.Actor({
            reactive: true, x, y, width: 1, height: 1,
            background_color: new Clutter.Color({ red: 0, green: 0, blue: 0, alpha: 0 }),
        });
        global.stage.add_child(this._cover);
        const pointer = Clutter.get_default_backend().get_default_seat().get_pointer();
        let frames = 0;
        this._paintId = global.stage.connect('after-paint', () => {
            frames++;
            if (this._idleId)
                return;
            if (global.stage.get_device_actor(pointer, null) === this._cover || frames >= FRAMES_TO_WAIT)
                this._idleId = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => this._finishCrossing());
        });
    }

    _finishCrossing() {
        this._idleId = 0;
        this._uncover();
        if (this._again) {
            this._again = false;
            this._crossUnderPointer();
        }
        return GLib.SOURCE_REMOVE;
    }

    _uncover() {
        if (this._paintId) {
            global.stage.disconnect(this._paintId);
            this._paintId = 0;
        }
        if (this._idleId) {
            GLib.source_remove(this._idleId);
            this._idleId = 0;
        }
        if (this._cover) {
            this._cover.destroy();
            this._cover = null;
        }
    }
}

function init() {
    return new PointerRefresh();
}
