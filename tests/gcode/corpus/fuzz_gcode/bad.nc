G64 P0.1 G1 X1
G41 D1 G1 X2
T2 M6
G1 X1 !
G0 X1 X2
G1.5
g0 x(comment ; still) y2 ;tail

ä G0
