A_b_c

Zoom in
DMXC x_7
E_\Effekts\e.swfF_C:\Show\f.swf