Warte Kickbässe 4_
Blitz_\Effekts\blitz.swf
DMXC Nebel_3
+DMXC Strobe_7
Fern_/srv/fx/f.swf
