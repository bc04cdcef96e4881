# Renders a GDSII file to a PNG picture with KLayout in batch mode:
#
#   QT_QPA_PLATFORM=offscreen klayout -b -r tools/render_png.py \
#       -rd input=demo.gds -rd output=demo.png [-rd width=1200 -rd height=1200]
#
# The whole hierarchy is drawn, each layer of the demo chip with its own
# colour and stipple, on a white background.
import pya

input_file = globals().get("input", "demo.gds")
output_file = globals().get("output", "demo.png")
image_width = int(globals().get("width", "1200"))
image_height = int(globals().get("height", "1200"))

# layer: (name, fill colour, frame colour, dither pattern, transparent)
STYLES = {
    1: ("nwell", 0xC8E6C9, 0x66BB6A, 2, False),
    2: ("active", 0x43A047, 0x1B5E20, 5, False),
    3: ("poly", 0xE53935, 0xB71C1C, 0, False),
    4: ("contact", 0x212121, 0x000000, 0, False),
    5: ("metal1", 0x1E88E5, 0x0D47A1, 9, False),
    6: ("via1", 0x4A148C, 0x311B92, 0, False),
    7: ("metal2", 0x8E24AA, 0x4A148C, 8, False),
    8: ("pad opening", 0xFFB300, 0xE65100, 3, False),
    10: ("seal ring", 0x607D8B, 0x263238, 0, False),
    20: ("logo", 0xFFD54F, 0xFF8F00, 0, False),
    21: ("logo slice 1", 0xEF5350, 0xC62828, 0, False),
    22: ("logo slice 2", 0x42A5F5, 0x1565C0, 0, False),
    23: ("logo slice 3", 0x66BB6A, 0x2E7D32, 0, False),
    63: ("labels", 0x000000, 0x000000, 1, False),
}

view = pya.LayoutView()
view.set_config("background-color", "#ffffff")
view.set_config("grid-visible", "false")
view.set_config("text-visible", "true")
view.set_config("text-lazy-rendering", "false")
view.set_config("default-text-size", "2")
view.set_config("text-color", "#000000")
view.set_config("apply-text-trans", "true")
view.set_config("no-stipple", "false")
view.set_config("bitmap-oversampling", "2")
view.set_config("grid-show-ruler", "false")
view.set_config("text-font", "2")

cellview_index = view.load_layout(input_file, True)
layout = view.cellview(cellview_index).layout()
view.max_hier()

# Replace the default layer list by one entry per layer of the file, styled
# where the layer is one of the demo chip's.
view.clear_layers()
for layer_index in layout.layer_indexes():
    info = layout.get_info(layer_index)
    props = pya.LayerPropertiesNode()
    props.source = "%d/%d@1" % (info.layer, info.datatype)
    style = STYLES.get(info.layer)
    if style is not None:
        name, fill, frame, dither, transparent = style
        props.name = "%s %d/%d" % (name, info.layer, info.datatype)
        props.fill_color = fill
        props.frame_color = frame
        props.dither_pattern = dither
        props.transparent = transparent
        props.width = 1
    view.insert_layer(view.end_layers(), props)

# Layer property changes reach the drawing only after an update.
view.update_content()
view.zoom_fit()
view.save_image(output_file, image_width, image_height)
