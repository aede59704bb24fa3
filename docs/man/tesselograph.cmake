# The parts of tesselograph(1) that the command-line help does not carry.
set(SUMMARY "make photographic mosaics from your own photographs")
set(DESCRIPTION "\\fBtesselograph\\fR is the Tesselograph window. A mosaic is made in three
steps: a Tile Images List is built from folders of photographs and video clips; main images and
the mosaic parameters are chosen; the mosaic job analyses the main image cell by cell, places
the tiles and writes the mosaic with the chosen outputs.
.PP
The user guide, opened from the window's help command, describes every parameter.")
set(ENVIRONMENT ".TP
.B TESSELOGRAPH_CONFIG_PATH
The folder that holds the configuration folder \\(lqTesselograph Standard\\(rq instead of
\\fI~/.config/Tesselograph\\fR.
.TP
.BR LANGUAGE \", \" LC_ALL \", \" LC_MESSAGES \", \" LANG
The language of the window when none was chosen in its language dialog.")
set(FILES ".TP
.I ~/.config/Tesselograph/Tesselograph Standard/TesselographConfig.txt
Advanced settings, the chosen language and other user values.
.TP
.I /usr/share/tesselograph/TesselographManual.pdf
The user guide.
.TP
.I /usr/share/tesselograph/MaskFile Examples/
Example mask files.")
set(SEE_ALSO "\\fBtesselograph\\-cli\\fR(1)")
