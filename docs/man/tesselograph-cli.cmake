# The parts of tesselograph-cli(1) that no --help text carries.
set(SUMMARY "make photographic mosaics from the command line")
set(DESCRIPTION "\\fBtesselograph-cli\\fR runs everything the Tesselograph window does without a
window: it builds Tile Images Lists from folders of photographs and clips, makes mosaics of main
images with the mosaic parameters of a settings file and \\fB\\-\\-set\\fR overrides, shows the
geometry of a mosaic and writes settings files.
.PP
Every command starts from the Default Settings, then applies \\fB\\-\\-settings\\fR (a mosaic
settings file, or with \\fB\\-\\-section\\fR a named set of the user settings file; \\fB\\-\\-section\\fR
alone names a set of the settings list, such as \\(lq(Video Mosaic)\\(rq), then every
\\fB\\-\\-set\\fR \\fIKEY\\fR=\\fIVALUE\\fR in order. \\fIKEY\\fR is a settings-file key such as
\\fBTileSize\\fR, \\fBFileFormat\\fR or \\fBAdvanced.Options.ThreadCount\\fR; \\fIVALUE\\fR has
the settings-file text form.
.PP
Messages and questions go to standard error. On a terminal questions are asked; otherwise
their default answer is taken, and \\fB\\-\\-yes\\fR or \\fB\\-\\-no\\fR answer every question.
The exit status is 0 only when everything asked for was done.")
set(ENVIRONMENT ".TP
.B TESSELOGRAPH_CONFIG_PATH
The folder that holds the configuration folder \\(lqTesselograph Standard\\(rq instead of
\\fI~/.config/Tesselograph\\fR.
.TP
.BR LANGUAGE \", \" LC_ALL \", \" LC_MESSAGES \", \" LANG
The language of messages, unless one was chosen in the window's language dialog.")
set(FILES ".TP
.I ~/.config/Tesselograph/Tesselograph Standard/TesselographConfig.txt
Advanced settings and user values.
.TP
.I ~/.config/Tesselograph/Tesselograph Standard/
The user settings files with the named settings sets.
.TP
.I /usr/share/tesselograph/TesselographManual.pdf
The user guide.
.TP
.I /usr/share/tesselograph/MaskFile Examples/
Example mask files.")
set(SEE_ALSO "\\fBtesselograph\\fR(1)")
