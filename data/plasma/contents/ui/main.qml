// One of Tavel's effects as this desktop's wallpaper: the program generated for Qt 5's
// ShaderEffect from the same sources Tavel draws with, fed the same uniforms. Tavel
// writes the configuration through plasmashell's scripting; each write arrives here as a
// change of wallpaper.configuration while the plugin runs.
import QtQuick 2.15
import QtQuick.Window 2.15
import "effects.js" as Effects

Item {
    id: root

    readonly property var config: wallpaper.configuration
    readonly property string effectId: config.EffectId
    readonly property bool known: Effects.ids.indexOf(effectId) >= 0
    readonly property real speed: config.Speed
    readonly property bool paused: config.Paused
    readonly property int framesPerSecond: Math.max(1, Math.min(240, config.FramesPerSecond))
    readonly property real renderScale: Math.max(0.1, Math.min(1, config.RenderScale))
    readonly property vector4d bgColor: colour(config.BackgroundColor, Qt.vector4d(0, 0, 0, 0))
    readonly property vector4d accentColor: colour(config.AccentColor, Qt.vector4d(1, 1, 1, 0))

    // Effect time in seconds, already scaled by speed: from Time when it is set, else from
    // a random start, as Tavel's own views begin.
    property real time: Math.random() * 100
    // The wall-clock second of the last step; 0 while nothing steps.
    property real lastStep: 0

    function colour(text, fallback) {
        var parts = String(text).split(",").map(Number);
        if (parts.length !== 4 || parts.some(isNaN))
            return fallback;
        return Qt.vector4d(parts[0], parts[1], parts[2], parts[3]);
    }

    function takeTime() {
        if (config.Time >= 0)
            time = config.Time;
    }

    function warnUnknown() {
        if (!known)
            console.warn("Tavel: no program for the effect \"" + effectId + "\"; its background colour is shown");
    }

    onEffectIdChanged: warnUnknown()
    Component.onCompleted: {
        takeTime();
        warnUnknown();
    }
    Connections {
        target: root.config
        function onValueChanged(key, value) {
            if (key === "Time")
                root.takeTime();
        }
    }

    // Drawn at the render scale: below 1 into a layer of that many pixels, shown scaled up.
    Item {
        id: stage

        width: Math.max(1, Math.round(root.width * root.renderScale))
        height: Math.max(1, Math.round(root.height * root.renderScale))
        transformOrigin: Item.TopLeft
        scale: root.width / width
        layer.enabled: root.renderScale < 1
        layer.smooth: true

        ShaderEffect {
            id: effect

            readonly property real pixelRatio: Screen.devicePixelRatio
            property real tavelTime: root.time
            property real tavelZoom: root.config.Zoom
            property real tavelIntensity: root.config.Intensity
            property real tavelHue: root.config.Hue
            property vector2d tavelResolution: Qt.vector2d(width * pixelRatio, height * pixelRatio)
            property vector4d tavelBgColor: root.bgColor
            property vector4d tavelAccentColor: root.accentColor

            anchors.fill: parent
            // The wallpaper is the bottom of the scene: nothing below it to blend with.
            // (Opaque, Qt 5's renderer compiles the program itself and `status` stays
            // Error whatever the outcome: it tells nothing here.)
            blending: false
            // An effect without a program (from a newer Tavel) shows its background colour.
            fragmentShader: root.known ? Qt.resolvedUrl("../shaders/" + root.effectId + ".frag")
                                       : "uniform lowp vec4 tavelBgColor;
                                          void main() { gl_FragColor = vec4(tavelBgColor.rgb, 1.0); }"
        }
    }

    // One step of effect time per frame, at the chosen rate; nothing runs while paused, so
    // nothing is drawn. Steps are capped as Tavel's views cap theirs (0.1 s), so a stall
    // does not jump the effect forward.
    Timer {
        interval: Math.round(1000 / root.framesPerSecond)
        repeat: true
        running: !root.paused && root.visible && root.known
        onRunningChanged: root.lastStep = 0
        onTriggered: {
            var now = Date.now() / 1000;
            if (root.lastStep > 0)
                root.time += Math.min(Math.max(now - root.lastStep, 0), 0.1) * root.speed;
            root.lastStep = now;
        }
    }
}
