a_b_/home/show/korvellaX
DMXC a_b_12
