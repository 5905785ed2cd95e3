; main
BLEEP_L1:
  .word BLEEP_L16, BLEEP_L17, BLEEP_L18, BLEEP_L19, BLEEP_L20, BLEEP_L21, BLEEP_L22, BLEEP_L23, BLEEP_L24, BLEEP_L25, BLEEP_L26, BLEEP_L27, BLEEP_L28, BLEEP_L29, BLEEP_L30, BLEEP_L31, BLEEP_L32, BLEEP_L33, BLEEP_L34, BLEEP_L35, BLEEP_L36, BLEEP_L37, BLEEP_L38, BLEEP_L39, BLEEP_L40, BLEEP_L41, BLEEP_L42, BLEEP_L43, BLEEP_L44, BLEEP_L45, BLEEP_L46, BLEEP_L47, BLEEP_L48, BLEEP_L49, BLEEP_L50, BLEEP_L51, BLEEP_L52, BLEEP_L53, BLEEP_L54, BLEEP_L55, BLEEP_L56, BLEEP_L57, BLEEP_L58, BLEEP_L59, BLEEP_L60, BLEEP_L61, BLEEP_L62, BLEEP_L63, BLEEP_L64, BLEEP_L65, BLEEP_L66, BLEEP_L67, BLEEP_L68, BLEEP_L69, BLEEP_L70, BLEEP_L71, BLEEP_L72, BLEEP_L73, BLEEP_L74, BLEEP_L75, BLEEP_L76, BLEEP_L77, BLEEP_L78, BLEEP_L79, BLEEP_L80

BLEEP_L16:
  .word BLEEP_L81 - 1
  .word BLEEP_L82 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L17:
  .word BLEEP_L81 - 1
  .word BLEEP_L84 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L18:
  .word BLEEP_L81 - 1
  .word BLEEP_L85 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L19:
  .word BLEEP_L81 - 1
  .word BLEEP_L86 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L20:
  .word BLEEP_L81 - 1
  .word BLEEP_L87 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L21:
  .word BLEEP_L81 - 1
  .word BLEEP_L88 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L22:
  .word BLEEP_L81 - 1
  .word BLEEP_L89 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L23:
  .word BLEEP_L81 - 1
  .word BLEEP_L90 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L24:
  .word BLEEP_L81 - 1
  .word BLEEP_L91 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L25:
  .word BLEEP_L81 - 1
  .word BLEEP_L92 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L26:
  .word BLEEP_L81 - 1
  .word BLEEP_L93 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L27:
  .word BLEEP_L81 - 1
  .word BLEEP_L94 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L28:
  .word BLEEP_L81 - 1
  .word BLEEP_L95 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L29:
  .word BLEEP_L81 - 1
  .word BLEEP_L96 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L30:
  .word BLEEP_L81 - 1
  .word BLEEP_L97 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L31:
  .word BLEEP_L81 - 1
  .word BLEEP_L98 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L32:
  .word BLEEP_L81 - 1
  .word BLEEP_L99 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L33:
  .word BLEEP_L81 - 1
  .word BLEEP_L100 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L34:
  .word BLEEP_L81 - 1
  .word BLEEP_L101 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L35:
  .word BLEEP_L81 - 1
  .word BLEEP_L102 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L36:
  .word BLEEP_L81 - 1
  .word BLEEP_L103 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L37:
  .word BLEEP_L81 - 1
  .word BLEEP_L104 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L38:
  .word BLEEP_L81 - 1
  .word BLEEP_L105 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L39:
  .word BLEEP_L81 - 1
  .word BLEEP_L106 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L40:
  .word BLEEP_L81 - 1
  .word BLEEP_L107 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L41:
  .word BLEEP_L81 - 1
  .word BLEEP_L108 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L42:
  .word BLEEP_L81 - 1
  .word BLEEP_L109 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L43:
  .word BLEEP_L81 - 1
  .word BLEEP_L110 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L44:
  .word BLEEP_L81 - 1
  .word BLEEP_L111 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L45:
  .word BLEEP_L81 - 1
  .word BLEEP_L112 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L46:
  .word BLEEP_L81 - 1
  .word BLEEP_L113 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L47:
  .word BLEEP_L81 - 1
  .word BLEEP_L114 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L48:
  .word BLEEP_L81 - 1
  .word BLEEP_L115 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L49:
  .word BLEEP_L81 - 1
  .word BLEEP_L116 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L50:
  .word BLEEP_L81 - 1
  .word BLEEP_L117 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L51:
  .word BLEEP_L81 - 1
  .word BLEEP_L118 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L52:
  .word BLEEP_L81 - 1
  .word BLEEP_L119 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L53:
  .word BLEEP_L81 - 1
  .word BLEEP_L120 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L54:
  .word BLEEP_L81 - 1
  .word BLEEP_L121 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L55:
  .word BLEEP_L81 - 1
  .word BLEEP_L122 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L56:
  .word BLEEP_L81 - 1
  .word BLEEP_L123 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L57:
  .word BLEEP_L81 - 1
  .word BLEEP_L124 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L58:
  .word BLEEP_L81 - 1
  .word BLEEP_L125 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L59:
  .word BLEEP_L81 - 1
  .word BLEEP_L126 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L60:
  .word BLEEP_L81 - 1
  .word BLEEP_L127 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L61:
  .word BLEEP_L81 - 1
  .word BLEEP_L128 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L62:
  .word BLEEP_L81 - 1
  .word BLEEP_L129 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L63:
  .word BLEEP_L81 - 1
  .word BLEEP_L130 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L64:
  .word BLEEP_L81 - 1
  .word BLEEP_L131 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L65:
  .word BLEEP_L81 - 1
  .word BLEEP_L132 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L66:
  .word BLEEP_L81 - 1
  .word BLEEP_L133 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L67:
  .word BLEEP_L81 - 1
  .word BLEEP_L134 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L68:
  .word BLEEP_L81 - 1
  .word BLEEP_L135 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L69:
  .word BLEEP_L81 - 1
  .word BLEEP_L136 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L70:
  .word BLEEP_L81 - 1
  .word BLEEP_L137 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L71:
  .word BLEEP_L81 - 1
  .word BLEEP_L138 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L72:
  .word BLEEP_L81 - 1
  .word BLEEP_L139 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L73:
  .word BLEEP_L81 - 1
  .word BLEEP_L140 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L74:
  .word BLEEP_L81 - 1
  .word BLEEP_L141 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L75:
  .word BLEEP_L81 - 1
  .word BLEEP_L142 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L76:
  .word BLEEP_L81 - 1
  .word BLEEP_L143 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L77:
  .word BLEEP_L81 - 1
  .word BLEEP_L144 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L78:
  .word BLEEP_L81 - 1
  .word BLEEP_L145 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L79:
  .word BLEEP_L81 - 1
  .word BLEEP_L146 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1
BLEEP_L80:
  .word BLEEP_L81 - 1
  .word BLEEP_L147 - 1
  .word BLEEP_L81 - 1
  .word BLEEP_L83 - 1

BLEEP_L81:
  .byte 0, $FF, 0
BLEEP_L82:
  .byte 1, $FF, 0
BLEEP_L83:
  .byte 127, $FF, 0
BLEEP_L84:
  .byte 2, $FF, 0
BLEEP_L85:
  .byte 3, $FF, 0
BLEEP_L86:
  .byte 4, $FF, 0
BLEEP_L87:
  .byte 5, $FF, 0
BLEEP_L88:
  .byte 6, $FF, 0
BLEEP_L89:
  .byte 7, $FF, 0
BLEEP_L90:
  .byte 8, $FF, 0
BLEEP_L91:
  .byte 9, $FF, 0
BLEEP_L92:
  .byte 10, $FF, 0
BLEEP_L93:
  .byte 11, $FF, 0
BLEEP_L94:
  .byte 12, $FF, 0
BLEEP_L95:
  .byte 13, $FF, 0
BLEEP_L96:
  .byte 14, $FF, 0
BLEEP_L97:
  .byte 15, $FF, 0
BLEEP_L98:
  .byte 16, $FF, 0
BLEEP_L99:
  .byte 17, $FF, 0
BLEEP_L100:
  .byte 18, $FF, 0
BLEEP_L101:
  .byte 19, $FF, 0
BLEEP_L102:
  .byte 20, $FF, 0
BLEEP_L103:
  .byte 21, $FF, 0
BLEEP_L104:
  .byte 22, $FF, 0
BLEEP_L105:
  .byte 23, $FF, 0
BLEEP_L106:
  .byte 24, $FF, 0
BLEEP_L107:
  .byte 25, $FF, 0
BLEEP_L108:
  .byte 26, $FF, 0
BLEEP_L109:
  .byte 27, $FF, 0
BLEEP_L110:
  .byte 28, $FF, 0
BLEEP_L111:
  .byte 29, $FF, 0
BLEEP_L112:
  .byte 30, $FF, 0
BLEEP_L113:
  .byte 31, $FF, 0
BLEEP_L114:
  .byte 32, $FF, 0
BLEEP_L115:
  .byte 33, $FF, 0
BLEEP_L116:
  .byte 34, $FF, 0
BLEEP_L117:
  .byte 35, $FF, 0
BLEEP_L118:
  .byte 36, $FF, 0
BLEEP_L119:
  .byte 37, $FF, 0
BLEEP_L120:
  .byte 38, $FF, 0
BLEEP_L121:
  .byte 39, $FF, 0
BLEEP_L122:
  .byte 40, $FF, 0
BLEEP_L123:
  .byte 41, $FF, 0
BLEEP_L124:
  .byte 42, $FF, 0
BLEEP_L125:
  .byte 43, $FF, 0
BLEEP_L126:
  .byte 44, $FF, 0
BLEEP_L127:
  .byte 45, $FF, 0
BLEEP_L128:
  .byte 46, $FF, 0
BLEEP_L129:
  .byte 47, $FF, 0
BLEEP_L130:
  .byte 48, $FF, 0
BLEEP_L131:
  .byte 49, $FF, 0
BLEEP_L132:
  .byte 50, $FF, 0
BLEEP_L133:
  .byte 51, $FF, 0
BLEEP_L134:
  .byte 52, $FF, 0
BLEEP_L135:
  .byte 53, $FF, 0
BLEEP_L136:
  .byte 54, $FF, 0
BLEEP_L137:
  .byte 55, $FF, 0
BLEEP_L138:
  .byte 56, $FF, 0
BLEEP_L139:
  .byte 57, $FF, 0
BLEEP_L140:
  .byte 58, $FF, 0
BLEEP_L141:
  .byte 59, $FF, 0
BLEEP_L142:
  .byte 60, $FF, 0
BLEEP_L143:
  .byte 61, $FF, 0
BLEEP_L144:
  .byte 62, $FF, 0
BLEEP_L145:
  .byte 63, $FF, 0
BLEEP_L146:
  .byte 64, $FF, 0
BLEEP_L147:
  .byte 65, $FF, 0

BLEEP_L2:

; file m-big.s
; Song data generated by Bleepforge

BLEEP_L0:
  .byte 0
  .word BLEEP_L1
  .word BLEEP_L2
  .word BLEEP_L3
  .word BLEEP_L4
  .word BLEEP_L5
  .word BLEEP_L6
  .word BLEEP_L7
  .word BLEEP_L8
  .word BLEEP_L9
  .word BLEEP_L10
  .word BLEEP_L11
  .word BLEEP_L12

BLEEP_L3:
  .byte 0, $FF

BLEEP_L5:
  .byte 0, $FF

BLEEP_L7:
  .byte 0, $FF

BLEEP_L9:
  .byte 0, $FF

BLEEP_L11:
  .byte 0, $FF

BLEEP_L4:
  .word BLEEP_L13

BLEEP_L6:
  .word BLEEP_L14

BLEEP_L8:
  .word BLEEP_L14

BLEEP_L10:
  .word BLEEP_L14

BLEEP_L12:
  .word BLEEP_L15

BLEEP_L13:
  .byte 191
  .byte 216, 64
  .byte 215

BLEEP_L14:
  .byte 215

BLEEP_L15:
  .byte 129

; file m-dpcm.s
