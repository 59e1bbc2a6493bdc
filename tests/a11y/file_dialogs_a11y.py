#!/usr/bin/python3
"""Qt's own texts in French, on a desktop whose language is English: opens
every file dialog of the real program through the menus and buttons, as a
keyboard or screen-reader user does, and finds Qt's dialog in French
("Ouvrir" or "Enregistrer", "Annuler", "Voir dans :"…) with no English text
left; answers Qt's question before a file is replaced ("Oui", "Non"); reads
the context menu of a number field, a notice of the program with Qt's
standard button and the about box.

The desktop offers no dialog of its own (no platform theme): what shows is
Qt's widget dialog.

Run by scripts/with-a11y-bus.sh (a private X display and accessibility bus):
    file_dialogs_a11y.py PATH_TO_ORVALIS
Exits 0 when every check holds, 1 otherwise, 77 when pyatspi is missing.
"""

import os
import subprocess
import sys

from atspi_user import (LOOPBACK, activate_window, check, chord, descendants, find, hold_display, index, key,
                        outcome, program_folder, pyatspi, read_keycodes, running, started_main_window, states,
                        text_of, wait_for)

LOG_NAME = "Messages MIDI reçus et envoyés (les plus récents en fin de liste)"

# What would tell of a desktop's own dialogs; without them Qt draws its own.
DESKTOP_VARIABLES = ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                     "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID")

# Qt's texts as they read untranslated, names and descriptions alike.
ENGLISH = {
    "Open", "Save", "Cancel", "Yes", "No", "Close", "Look in:", "File name:", "Files of type:",
    "Back", "Forward", "Parent Directory", "Create New Folder", "List View", "Detail View", "Sidebar", "Files",
    "Name", "Size", "Date Modified", "Computer", "My Computer", "Go back", "Go forward",
    "Go to the parent directory", "Create a New Folder", "Change to list view mode", "Change to detail view mode",
    "List of places and bookmarks", "Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All", "Step up",
    "Step down",
}

# Qt's file dialog, whatever it is for.
FILE_DIALOG_CONTROLS = [
    ("label", "Voir dans :"), ("label", "Nom de fichier :"), ("label", "Fichiers de type :"),
    ("push button", "Précédent"), ("push button", "Suivant"), ("push button", "Dossier parent"),
    ("push button", "Créer un nouveau dossier"), ("push button", "Vue en liste"), ("push button", "Vue détaillée"),
    ("push button", "Annuler"), ("list", "Barre latérale"), ("list item", "Ordinateur"),
    ("table column header", "Nom"), ("table column header", "Taille"), ("table column header", "Type"),
    ("table column header", "Dernière modification"),
]

FIELD_MENU = ["Annuler", "Rétablir", "Couper", "Copier", "Coller", "Supprimer", "Tout sélectionner",
              "Augmenter", "Diminuer"]


def english_desktop(work):
    """The environment of a desktop in English without a platform theme; Qt
    keeps the dialogs' history in the test's folder."""
    env = {name: value for name, value in os.environ.items() if name not in DESKTOP_VARIABLES}
    env.update(LANGUAGE="en_US:en", LC_ALL="C.UTF-8", XDG_CONFIG_HOME=os.path.join(work, "config"))
    return env


def texts_of(root):
    """Every name and description under root."""
    found = set()
    for node in descendants(root):
        try:
            found.update({node.name, node.description})
        except Exception:
            pass
    return found - {""}


def check_no_english(root, what):
    english = sorted(texts_of(root) & ENGLISH)
    check(not english, f"{what}: no English text ({english})")


def window_with(app, role, name):
    """The program's top-level window holding a control of that role and name."""
    for i in range(app.childCount):
        window = app[i]
        if window is not None and find(window, role, name) is not None:
            return window
    return None


def top_level(app, title):
    """The program's window of that title, whatever its role."""
    for i in range(app.childCount):
        window = app[i]
        if window is not None and window.name == title:
            return window
    return None


def press(root, role, name):
    """Presses a control as a screen reader's command does; found afresh
    each time (a dialog may replace the objects it shows on the bus)."""
    def pressed():
        node = find(root, role, name)
        return node is not None and node.queryAction().doAction(0)
    check(wait_for(pressed), f"presses the {role} {name!r}")


def menu_command(menu_key, item_key):
    """A menu command from the main window with its mnemonics (Alt+menu, item)."""
    activate_window("Orvalis")
    chord("Alt_L", menu_key)
    key(item_key)


def check_file_dialog(app, title, accept):
    """Finds Qt's file dialog of that title in French; returns it."""
    dialog = wait_for(lambda: find(app, "dialog", title))
    if not check(dialog is not None, f"the file dialog {title!r} shows"):
        return None
    wait_for(lambda: find(dialog, "table column header", "Nom") is not None)
    found = index(dialog)
    for role, name in FILE_DIALOG_CONTROLS + [("push button", accept)]:
        check((role, name) in found, f"{title!r}: a {role} {name!r}")
    check_no_english(dialog, title)
    return dialog


def cancel(app, dialog, title):
    press(dialog, "push button", "Annuler")
    check(wait_for(lambda: find(app, "dialog", title) is None), f"'Annuler' closes {title!r}")


def main():
    exe = sys.argv[1]
    work, program = program_folder(exe)
    folder = os.path.join(work, "fichiers")
    os.mkdir(folder)
    with open(os.path.join(folder, "existant.txt"), "w", encoding="utf-8") as existing:
        existing.write("gardé\n")
    # The loopback both ways, every dialog in the test's folder, a short
    # connection test.
    with open(os.path.join(work, "orvalis.ini"), "w", encoding="utf-8") as ini:
        ini.write(f"[MidiDevice]\nMidiInDevName={LOOPBACK}\nMidiOutDevName={LOOPBACK}\n"
                  f"[Files]\nLogFolder={folder}\nTrafficFolder={folder}\nSysexSaveFolder={folder}\n"
                  f"SysexSendFolder={folder}\n"
                  f"[LinkTest]\nMessageKind=0\nMessageCount=20\nMessagesPerSecond=1000\nOneInFlight=0\n"
                  f"CsvFolder={folder}\n")

    hold_display()
    read_keycodes()
    popups = []

    def on_showing(event):
        try:
            if event.detail1 and event.source.getRoleName() == "popup menu":
                popups.append(event.source)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")

    with running(program, work, english_desktop(work)) as process:
        run_checks(process, folder, popups)
    return outcome()


def run_checks(process, folder, popups):
    app, frame = started_main_window(process.pid)
    if frame is None:
        return
    check(activate_window("Orvalis"), "the main window takes the keyboard")

    # A number field's context menu, with the keyboard's menu key.
    velocity = find(frame, "spin button", "Vélocité")
    velocity.queryComponent().grabFocus()
    wait_for(lambda: states(velocity).contains(pyatspi.STATE_FOCUSED))
    popups.clear()
    key("Menu")
    if check(wait_for(lambda: popups), "the menu key opens the field's context menu"):
        # An entry reads "Couper\tCtrl+X": its text, then its shortcut.
        entries = [popups[-1][i].name.split("\t") for i in range(popups[-1].childCount)]
        texts = [entry[0] for entry in entries]
        shortcuts = [entry[1] for entry in entries if len(entry) > 1]
        for text in FIELD_MENU:
            check(text in texts, f"the field's menu has {text!r}")
        check(not set(texts) & ENGLISH, f"the field's menu has no English entry: {texts}")
        check(shortcuts and not any("Shift" in shortcut for shortcut in shortcuts),
              f"the entries' shortcuts are written in French: {shortcuts}")
        key("Escape")

    # A notice of the program with Qt's standard button: no SysEx received yet.
    menu_command("f", "s")
    notice = wait_for(lambda: window_with(app, "label", "Aucun SysEx reçu depuis le début ou « Effacer »."))
    if check(notice is not None, "Fichier → 'Enregistrer les SysEx reçus…' says none was received"):
        check(find(notice, "push button", "OK") is not None, "the notice's standard button reads 'OK'")
        check_no_english(notice, "the notice")
        press(notice, "push button", "OK")
        check(wait_for(lambda: window_with(app, "label", "Aucun SysEx reçu depuis le début ou « Effacer ».") is None),
              "'OK' closes the notice")

    # Fichier → "Enregistrer le journal…", and Qt's question before a file is replaced.
    title = "Enregistrer le journal"
    menu_command("f", "j")
    dialog = check_file_dialog(app, title, "Enregistrer")
    if dialog is not None:
        existing = os.path.join(folder, "existant.txt")
        field = find(dialog, "text", "Nom de fichier :")
        if check(field is not None, "the file name field, named by its label"):
            field.queryEditableText().setTextContents(existing)
            press(dialog, "push button", "Enregistrer")
            question = wait_for(lambda: window_with(app, "push button", "Non"))
            if check(question is not None, "saving over a file asks first"):
                found = index(question)
                check(("push button", "Oui") in found and ("push button", "Non") in found,
                      "the question's standard buttons read 'Oui' and 'Non'")
                check(any("existe déjà" in text for text in texts_of(question)),
                      f"the question says the file exists: {sorted(texts_of(question))}")
                check_no_english(question, "the question")
                press(question, "push button", "Non")
                check(wait_for(lambda: window_with(app, "push button", "Non") is None), "'Non' closes the question")
        cancel(app, dialog, title)
        with open(existing, encoding="utf-8") as kept:
            check(kept.read() == "gardé\n", "the file answered 'Non' for is left as it was")

    # Fichier → "Enregistrer le trafic…".
    title = "Enregistrer le trafic"
    menu_command("f", "t")
    dialog = check_file_dialog(app, title, "Enregistrer")
    if dialog is not None:
        cancel(app, dialog, title)

    # Outils → "Envoyer un fichier SysEx…" → "Choisir…".
    menu_command("o", "e")
    sender = wait_for(lambda: top_level(app, "Envoyer un fichier SysEx"))
    title = "Envoyer un fichier SysEx"
    if check(sender is not None, "Outils → 'Envoyer un fichier SysEx…' shows the sender window"):
        press(sender, "push button", "Choisir…")
        dialog = check_file_dialog(app, title, "Ouvrir")
        if dialog is not None:
            cancel(app, dialog, title)

    # Fichier → "Enregistrer les SysEx reçus…" once one came back through the
    # loopback: MMC Play.
    mmc = find(frame, "check box", "Commandes MMC")
    if not states(mmc).contains(pyatspi.STATE_CHECKED):
        mmc.queryAction().doAction(0)
        wait_for(lambda: states(mmc).contains(pyatspi.STATE_CHECKED))
    press(frame, "push button", "Play")
    log = find(frame, "text", LOG_NAME)
    check(wait_for(lambda: "[MIDI-In] - F0 7F 00 06 02 F7" in text_of(log)), "an MMC Play came back as a SysEx")
    title = "Enregistrer les SysEx reçus"
    menu_command("f", "s")
    confirm = wait_for(lambda: window_with(app, "push button", "Enregistrer…"))
    if check(confirm is not None, "the count of received SysEx is shown first"):
        press(confirm, "push button", "Enregistrer…")
        dialog = check_file_dialog(app, title, "Enregistrer")
        if dialog is not None:
            cancel(app, dialog, title)

    # Outils → "Test de liaison…": a short run, then "Enregistrer en CSV…".
    title = "Enregistrer les mesures du test de liaison"
    menu_command("o", "l")
    link = wait_for(lambda: top_level(app, "Test de liaison"))
    if check(link is not None, "Outils → 'Test de liaison…' shows its window"):
        press(link, "push button", "Démarrer")
        save_csv = find(link, "push button", "Enregistrer en CSV…")
        if check(wait_for(lambda: states(save_csv).contains(pyatspi.STATE_ENABLED), timeout=20),
                 "after a run its measures can be saved"):
            press(link, "push button", "Enregistrer en CSV…")
            dialog = check_file_dialog(app, title, "Enregistrer")
            if dialog is not None:
                cancel(app, dialog, title)

    # Aide → "A propos...".
    menu_command("i", "a")
    about = wait_for(lambda: find(app, "dialog", "A propos..."))
    if check(about is not None, "Aide → 'A propos...' shows the about box"):
        check_no_english(about, "the about box")
        press(about, "push button", "OK")
        check(wait_for(lambda: find(app, "dialog", "A propos...") is None), "'OK' closes the about box")

    check(os.listdir(folder) == ["existant.txt"], f"no dialog wrote a file: {sorted(os.listdir(folder))}")

    activate_window("Orvalis")
    chord("Control_L", "q")
    try:
        process.wait(15)
    except subprocess.TimeoutExpired:
        pass
    check(process.poll() == 0, "Ctrl+Q ends the program")


if __name__ == "__main__":
    sys.exit(main())
