// Positions from games of the engine against a stronger program, near their ends, one
// for each mate length an outside solver found (the engine sometimes finds a shorter
// mate), and positions where neither solver finds one (length 0). Each line: the
// position (side to move attacks) and the length in plies.
#pragma once

inline constexpr const char* ProblemsFromPlay = R"(
ln+B2gsnl/1R2gk1b1/ppp2pppp/3p+R4/9/P1P5P/1P1PP1PP1/9/LNSGKGSNL b S2P 1 9
ln+B2gsnl/4gk1b1/ppp3ppp/3p+R4/9/P1P5P/1P1PP1PP1/9/LNSGKGSNL b RS2Pp 1 11
l2g1g1nl/1rs2ks2/1p2pp1pp/2pp1+bp2/p4b3/2P5P/P+r1PKPPP1/9/LNSG1GSNL w N2p 1 13
l2g1g1nl/1rs2ks2/1p2pp1pp/2pp1+bp2/p8/2P1K3P/P+r1P1PPP1/9/LNSG1GSNL w Nb2p 1 15
lns2+P2l/rkg4+R1/ppppp+B3/8p/9/1SP2P2P/PP1PP1P2/6G2/LN1G1KSNL b BGSN3P 1 17
lnsg1gsnl/1r3k1b1/p2ppp1Kp/9/2p6/4P3P/P1PP1PPP1/7R1/L1+pG1GSNL w 2Pbsnp 1 19
lnsk1+P2+R/r2g5/pppppp+B2/8p/2P6/P3PP2P/1P1P2P2/3S2G2/LN1G1KSNL b BGSNL2P 1 21
lnsG1+P3/rkg5+R/p1pp+B4/1p6p/9/2P1P4/PP1P1PP1P/9/LNSGKGSNL b BSNL4P 1 23
ln1g1g1nl/3s1sk2/1p2p2pp/p5p2/3p1p3/P6P1/1P1+bPPPKP/7R1/+b1+r2GSNL w Pgsnl2p 1 25
lnsgk1snl/1r2g4/pp1ppp1pp/2K3p2/9/5P3/PPP+b2PPP/1B5R1/LNSG1GSNL w P2p 1 27
lnsg1+P2l/1r1k5/pp1pppp1p/2p6/9/2PP5/PP2PPP1P/1B5R1/LNSGKGSNL b BGSNP 1 29
ln1g1g1nl/2rs1skb1/1p2p2pp/p5p2/3p1p3/P6P1/1P1PPPP1P/3K3R1/L1+pG1GSNL w bsnp 1 31
lnsg1+P2l/r1k6/ppppppp2/8p/9/2P1P4/PP1P1PP1P/1B5R1/LNSGKGSNL b BGSNP 1 0
lnsg1+P2l/r1k6/ppppppp2/8p/9/1SP2P2P/PP1PP1P2/1B4GR1/LN1G1KSNL b BGSNP 1 0
lnsg1+P2l/r1k6/1pppppp1p/p8/5P3/P1P5P/1P1PP1P2/1B1SGSGR1/LN3K1NL b BGSNP 1 0
lns3+N1+B/1kg4+R1/pppp2ppp/4p4/9/P1P1PP3/1P1PGSPPP/2S4R1/L2G1K1NL b BGSNLP 1 0
l+Bsg1gsnl/r6b1/ppp1k1ppp/9/9/P1P1P4/1P1P2PPP/4GR3/LNSGK1SNL b N3Pp 1 0
ln+Bg1gs1+S/1r3k3/pppp1p2p/9/2P2P3/3PL3P/PPBGP1PP1/2S4R1/LN1G1K1NL b SN3P 1 0
)";
