#!/usr/bin/python3
"""Drives the real program through the accessibility bus, as a screen reader
and a keyboard-only user do: finds every control by role and name, reads the
counters and lamps after traffic through the built-in loopback device, runs
the loop test from the menu with its mnemonics, sends a row with the keyboard
alone and reads the result in the log, recalls a bulk-send preset, quits with
Ctrl+Q.

Run by scripts/with-a11y-bus.sh (a private X display and accessibility bus):
    main_window_a11y.py PATH_TO_ORVALIS
Exits 0 when every check holds, 1 otherwise, 77 when pyatspi is missing.
"""

import os
import subprocess
import sys

from atspi_user import (LOOPBACK, activate_window, check, chord, find, hold_display, index, key, labelled_by,
                        outcome, program_folder, pyatspi, read_keycodes, running, started_main_window, states,
                        text_of, wait_for)

LOG_NAME = "Messages MIDI reçus et envoyés (les plus récents en fin de liste)"


def main():
    exe = sys.argv[1]
    work, program = program_folder(exe)
    # The preferences file beside the program chooses the loopback both ways.
    with open(os.path.join(work, "orvalis.ini"), "w", encoding="utf-8") as ini:
        ini.write(f"[MidiDevice]\nMidiInDevName={LOOPBACK}\nMidiOutDevName={LOOPBACK}\n")

    hold_display()
    read_keycodes()
    description_events = []
    focus_events = []

    def on_description(event):
        try:
            description_events.append((event.source.name, event.source.description))
        except Exception:
            pass

    def on_focus(event):
        try:
            if event.detail1:
                focus_events.append((event.source.getRoleName(), event.source.name))
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_description, "object:property-change:accessible-description")
    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")

    with running(program, work) as process:
        run_checks(process, description_events, focus_events)
    return outcome()


def run_checks(process, description_events, focus_events):
    app, frame = started_main_window(process.pid)
    if frame is None:
        return
    controls = index(frame)
    check(activate_window("Orvalis"), "the main window takes the keyboard")

    def control(role, name):
        nodes = controls.get((role, name), [])
        return nodes[0] if nodes else None

    # Every control, by role and name.
    expected = [
        ("image", "MIDI In"), ("image", "MIDI Out"), ("push button", "Erreur MIDI"),
        ("label", "Compteur MIDI In"), ("label", "Compteur MIDI Out"),
        ("image", "Port MidiIn"), ("image", "Port MidiOut"),
        ("push button", "Reset"),
        ("spin button", "NoteOn"), ("spin button", "NoteOff"), ("spin button", "Vélocité"),
        ("check box", "Envoi en continu"), ("check box", "avec délai"),
        ("push button", "Envoyer NoteOn"), ("push button", "Envoyer NoteOff"),
        ("spin button", "Avant NoteOn"), ("spin button", "Avant NoteOff"),
        ("radio button", "Note"), ("radio button", "Control Change"),
        ("radio button", "Program Change"), ("radio button", "Autre"),
        ("check box", "Commandes RT"), ("check box", "Commandes MMC"), ("check box", "Commandes MCP"),
        ("push button", "Play"), ("push button", "Rec"), ("push button", "Stop"), ("push button", "Continue"),
        ("spin button", "Nb Max éven."), ("push button", "Effacer"), ("push button", "Pause (Rx)"),
        ("check box", "Horodater"), ("check box", "Filtrer TimeCode"),
        ("text", LOG_NAME),
        ("menu item", "Fichier"), ("menu item", "Edition"), ("menu item", "Outils"),
        ("menu item", "Affichage"), ("menu item", "Aide"),
        ("menu item", "Test boucle (sortie sur entrée)"), ("menu item", "Envoi par paquets"),
        ("menu item", "Quitter"), ("menu item", "Copier"),
    ]
    for role, name in expected:
        check(control(role, name) is not None, f"a {role} named {name!r}")
    check(len(controls.get(("spin button", "Valeur"), [])) == 2, "two byte fields named 'Valeur' (rows A and B)")
    # A device list is named by the device it shows; its description says which list it is.
    lists = {node.description: node.name for node in controls.get(("combo box", LOOPBACK), [])}
    check(lists == {"Interface entrée MIDI": LOOPBACK, "Interface sortie MIDI": LOOPBACK},
          f"both device lists show the loopback and say which they are: {lists}")

    port_in = control("image", "Port MidiIn")
    check(wait_for(lambda: port_in.description == "ouvert (Port MidiIn ouvert)"),
          f"the input's shape says it is open: {port_in.description!r}")
    port_out = control("image", "Port MidiOut")
    check(port_out.description == "ouvert (Port MidiOut ouvert)",
          f"the output's shape says it is open: {port_out.description!r}")
    note_on = control("spin button", "NoteOn")
    check(note_on.description == "valeur hexadécimale 90", f"the status byte field: {note_on.description!r}")
    led_err = control("push button", "Erreur MIDI")
    check(led_err.description == "éteinte", f"the error lamp is off: {led_err.description!r}")
    log = control("text", LOG_NAME)

    def log_lines():
        return text_of(log).split("\n")

    # Traffic: press "Envoyer NoteOn" as a screen reader's command does.
    counter_in = control("label", "Compteur MIDI In")
    counter_out = control("label", "Compteur MIDI Out")
    check(counter_out.queryValue().currentValue == 0, "the output counter starts at 0")
    send_a = control("push button", "Envoyer NoteOn")
    send_a.queryAction().doAction(0)
    check(wait_for(lambda: counter_out.queryValue().currentValue == 1), "the output counter reads 1")
    check(wait_for(lambda: counter_in.queryValue().currentValue == 1), "the input counter reads 1")
    check(wait_for(lambda: counter_in.description == "1"), "the input counter's description is 1")
    # The lamps lit and went out again: both were announced.
    lamp_in = control("image", "MIDI In")
    lamp_out = control("image", "MIDI Out")
    check(wait_for(lambda: ("MIDI In", "allumée : des messages MIDI arrivent") in description_events),
          "the input lamp was announced lit")
    check(wait_for(lambda: ("MIDI Out", "allumée : des messages MIDI partent") in description_events),
          f"the output lamp was announced lit {description_events}")
    check(wait_for(lambda: lamp_in.description == "éteinte" and lamp_out.description == "éteinte"),
          "both lamps are off again")
    check(wait_for(lambda: ("MIDI In", "éteinte") in description_events), "the input lamp was announced off")
    check(wait_for(lambda: "[MIDI-In] - 90 3C 40 (Note On)" in log_lines()), "the log holds the echo")

    # The loop test from the menu, with the keyboard: Alt+O (Outils), B (Test boucle).
    chord("Alt_L", "o")
    key("b")
    check(wait_for(lambda: "Test boucle : OK." in log_lines(), timeout=10),
          "the loop test from the menu says OK in the log")

    # A row sent with the keyboard alone: into the first byte field, Up makes
    # it 91, Tab to "Envoyer NoteOn" (after the row's two other bytes), Enter.
    note_on.queryComponent().grabFocus()
    check(wait_for(lambda: focus_events and focus_events[-1][1] == "NoteOn"), "the first byte field has the focus")
    key("Up")
    check(wait_for(lambda: note_on.description == "valeur hexadécimale 91"), "Up makes the field 91")
    for _ in range(3):
        key("Tab")
    check(wait_for(lambda: focus_events[-1] == ("push button", "Envoyer NoteOn")),
          f"three Tabs later 'Envoyer NoteOn' has the focus: {focus_events[-1:]}")
    key("Return")
    check(wait_for(lambda: "[MIDI-In] - 91 3C 40 (Note On)" in log_lines()),
          "Enter sent the row: its echo is in the log")
    check("[Midi-Out] - 91 3C 40" in log_lines(), "and the outgoing line before it")
    check(wait_for(lambda: counter_out.queryValue().currentValue == 4),
          "the output counter reads 4 (one note, the loop test's two, this one)")

    # Reset with its shortcut.
    chord("Control_L", "r")
    check(wait_for(lambda: counter_out.queryValue().currentValue == 0 and counter_in.description == "0"),
          "Ctrl+R resets both counters")

    # The bulk-send window with its shortcut; its presets say which is current.
    chord("Control_L", "b")
    bulk = wait_for(lambda: find(app, "frame", "Envoi par paquets"))
    if check(bulk is not None, "Ctrl+B shows the bulk-send window"):
        found = index(bulk)
        presets = [nodes[0] for n in range(1, 17) for (role, name), nodes in found.items() if name == f"Preset {n}"]
        check(len(presets) == 16, f"sixteen preset buttons by name ({len(presets)})")
        if len(presets) == 16:
            third = presets[2]
            third.queryAction().doAction(0)
            check(wait_for(lambda: states(third).contains(pyatspi.STATE_CHECKED)), "Preset 3 is current once pressed")
            check(all(not states(p).contains(pyatspi.STATE_CHECKED) for i, p in enumerate(presets) if i != 2),
                  "no other preset is current")
        outputs = [node for (role, _), nodes in found.items() if role == "combo box" for node in nodes]
        check(len(outputs) == 1 and labelled_by(outputs[0]) == ["Envoyer vers la sortie MIDI :"],
              "the bulk output list is labelled by its caption")
        check(("spin button", "Délai entre événements") in found, "the delay box by its caption")

    # Quit with Ctrl+Q, from the main window.
    activate_window("Orvalis")
    send_a.queryComponent().grabFocus()
    wait_for(lambda: focus_events[-1] == ("push button", "Envoyer NoteOn"))
    chord("Control_L", "q")
    try:
        process.wait(15)
    except subprocess.TimeoutExpired:
        pass
    check(process.poll() == 0, "Ctrl+Q ends the program")


if __name__ == "__main__":
    sys.exit(main())
