/* The payload carried in Setup.exe's initialised data: the pack, then the
   side banner, then the header banner, each directly behind the other, so
   PackEnd is SideBannerStart and SideBannerEnd is HeaderBannerStart.
   The three files are found through the assembler's include path; the
   build gives the damaged test pack a directory of its own.
   32-bit Windows prefixes C symbols with an underscore. */

        .section .rdata,"dr"
        .p2align 4

        .globl _PackStart
        .globl _PackEnd
        .globl _SideBannerStart
        .globl _SideBannerEnd
        .globl _HeaderBannerStart
        .globl _HeaderBannerEnd

_PackStart:
        .incbin "Setup.pak"
_PackEnd:
_SideBannerStart:
        .incbin "SideBanner.png"
_SideBannerEnd:
_HeaderBannerStart:
        .incbin "HeaderBanner.png"
_HeaderBannerEnd:
